// A second program for the end-to-end tests: opens a port with the program's serial component,
// reports "HELD" or "FAILED <text>", and keeps the port until its standard input closes.
#include "ComPort.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: e2e-port-holder PORT\n");
        return 2;
    }
    kelotari::TComPort port;
    try {
        port.setPort(QString::fromLocal8Bit(argv[1]));
        port.OpenPort();
    } catch (const kelotari::EComPort& e) {
        std::printf("FAILED %s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    std::printf("HELD\n");
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    return 0;
}
