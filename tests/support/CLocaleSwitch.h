#pragma once
// The process's C library locale set to a regional one for the life of the object, as Qt sets
// it from the environment when the application object is made, whatever locale the test
// itself was started under. installed() is false when the system has no such locale.
#include <QByteArray>

#include <clocale>
#include <cstdio>
#include <string>

namespace kelotari {

class CLocaleSwitch {
public:
    // category LC_NUMERIC alone stands for an environment with only LC_NUMERIC set.
    explicit CLocaleSwitch(const char* name, int category = LC_ALL) {
        const char* old = std::setlocale(LC_ALL, nullptr);
        m_old = old ? old : "C";
        m_installed = std::setlocale(category, name) != nullptr;
    }
    ~CLocaleSwitch() { std::setlocale(LC_ALL, m_old.c_str()); }
    CLocaleSwitch(const CLocaleSwitch&) = delete;
    CLocaleSwitch& operator=(const CLocaleSwitch&) = delete;

    bool installed() const { return m_installed; }

private:
    std::string m_old;
    bool m_installed = false;
};

// A number as the C library's printf writes it in the calling thread now.
inline QByteArray cPrinted(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", value);
    return QByteArray(buf);
}

} // namespace kelotari
