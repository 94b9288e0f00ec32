#pragma once
// The serial port component: the meter's line (4800 baud, 8 data bits, no parity, 1 stop bit,
// no flow control, RTS on, DTR off, NUL bytes dropped on input), opened exclusively, polled by
// its owner from the window thread. This header is the whole interface; ComPort_posix.cpp
// implements it over termios, and a Win32 source (CreateFile on "\\.\COMn", overlapped
// reads and writes, SetCommState, PurgeComm, ClearCommError) would implement the same.
#include "meter/MeterLink.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace kelotari {

// Error codes of the component; the text of each is fixed, see EComPort::codeText.
enum ComErrorCode {
    CE_OpenFailed = 1,
    CE_WriteFailed = 2,
    CE_ReadFailed = 3,
    CE_PurgeFailed = 5,
    CE_SetStateFailed = 7,
    CE_SetTimeoutsFailed = 8,
    CE_SetupComFailed = 9,
    CE_ClearComFailed = 10,
    CE_RegFailed = 23,
};

// A failure of the port: the code's text followed by " (win error code: N)", N being the
// system's error number (errno here).
class EComPort : public LinkFailure {
public:
    EComPort(int code, int systemError, QString advice = {});
    int Code() const noexcept { return m_code; }
    int WinCode() const noexcept { return m_systemError; }
    static QString codeText(int code);

private:
    int m_code;
    int m_systemError;
};

enum class TParityBits { None, Odd, Even, Mark, Space };
enum class TStopBits { One, Two };

// The line settings a port is opened with.
struct TComSettings {
    int BaudRate = 4800;
    int DataBits = 8; // 5..8
    TParityBits Parity = TParityBits::None;
    TStopBits StopBits = TStopBits::One;
    bool DiscardNull = true; // received NUL bytes never reach the reader
    bool ControlRTS = true;  // RTS held on while open
    bool ControlDTR = false; // DTR held off while open
};

// The system device a port name stands for: COM1..COMn are /dev/ttyS0..; an absolute path is
// used as it is; any other name is a device under /dev (ttyUSB0, pts/3).
QString comDevicePath(const QString& portName);

// The device node a port name leads to, its links followed (the path itself when it leads
// nowhere).
QString deviceNode(const QString& path);

// The extra line for a device the user may not open. It names the device's group only when
// that group is not root's and may read and write it; otherwise it says that only the owner
// may use the device and how the administrator can grant access. The first form looks at the
// device itself.
QString accessAdvice(const QString& path);
QString accessAdvice(const QString& path, unsigned mode, const QString& groupName, bool rootGroup);

class TCustomComPort {
public:
    explicit TCustomComPort(const TComSettings& settings = TComSettings());
    virtual ~TCustomComPort(); // closes the port
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    const TComSettings& settings() const { return m_settings; }

    // The port name. Assigning another name to an open port closes it and opens the new one;
    // assigning the current name does nothing.
    const QString& Port() const { return m_port; }
    void setPort(const QString& name);

    bool Connected() const { return m_device != nullptr; }
    void setConnected(bool open);

    // Opens the device exclusively with the line settings (nothing when already open).
    // Code 1 when it cannot be opened, or with EBUSY when another program holds it (its lock,
    // or the terminal already in exclusive mode; also for root). The device is held
    // exclusively before any of its settings is changed, and they are put back at close; 7 when the
    // line settings are refused; 8 when the read time-outs are refused. Closing ends the exclusive
    // mode only where this port set it.
    void OpenPort();
    // Discards what was received and not read, restores the device's previous settings and
    // closes it (nothing when closed). The port is closed afterwards even when it throws
    // (code 5).
    void ClosePort();
    // Discards received-not-read bytes and/or queued-not-sent bytes. Code 5.
    void PurgeBuffers(bool input, bool output);
    // Writes the bytes and waits until they have left; an empty text writes nothing and
    // gives 0. Code 2.
    int SendText(const QByteArray& text);
    // Bytes received and not yet read. Code 10, also when closed or when the device has gone
    // (unplugged adapter, hung-up line).
    int WaitingCount();
    // Reads up to count bytes that have already arrived, without waiting; NUL bytes are
    // dropped, so the result may be fewer than arrived, or 0. Code 3.
    int ReadBytes(char* buffer, int count);
    // Appends to buffer what has arrived, up to max bytes taken from the device, without
    // waiting and without NUL bytes. Returns how many bytes it took from the device, NUL bytes
    // included, so a stream of NUL bytes still counts as a line that is talking. Code 3, also
    // when the device has gone.
    int TakeArrived(QByteArray& buffer, int max);

    // The open device's descriptor, for waiting on it (-1 when closed).
    qintptr handle() const;

private:
    struct Device; // the platform's open device and what it needs to restore on close
    void release();

    TComSettings m_settings;
    QString m_port = QStringLiteral("COM1");
    std::unique_ptr<Device> m_device;
};

// The component as both windows use it: the meter's line settings.
class TComPort : public TCustomComPort {
public:
    TComPort() : TCustomComPort(TComSettings()) {}
};

} // namespace kelotari
