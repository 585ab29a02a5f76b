#pragma once
// THComm: one RS-232 port over POSIX termios, with a receive thread that calls the owner's
// OnCommEvent handler when bytes are waiting. Every failure it detects is raised as ECommError
// with one of a fixed set of English messages.
//
// Threads: construction, open, close, the setters, writes, purges and counts belong to the owner's
// thread; the receive thread runs the handler and the reads the handler makes. A read on the
// receive thread and a write on the owner's thread may overlap; two reads or two writes may not.
// The component never depends on a GUI toolkit: the owner hands the handler's work to its own
// thread by whatever means it has.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

enum class TCommPort : std::uint8_t { Com1, Com2, Com3, Com4 };
// The enumerator names are those the radio engineers know from the port settings dialog.
enum class TBaudRate : std::uint8_t {
    ____600bps,
    ___1200bps,
    ___2400bps,
    ___4800bps,
    ___9600bps,
    __14400bps,
    __19200bps,
    __38400bps,
    __56000bps,
    __57600bps,
    _115200bps,
    _128000bps
};
enum class TParity : std::uint8_t { None, Odd, Even, Mark, Space };
enum class TByteSize : std::uint8_t { _5bit, _6bit, _7bit, _8bit };
enum class TStopBits : std::uint8_t { _1bit, _1_5bit, _2bit };
enum class TFlowControl : std::uint8_t { Disable, DtrDsr, XonXoff, RtsCts };
enum class TEventType : std::uint8_t { RxEvent, CharEvent };

// Line speed in bit/s of a TBaudRate.
unsigned BaudRateBitsPerSecond(TBaudRate rate);

class ECommError : public std::runtime_error {
public:
    explicit ECommError(const std::string& message);
    // format holds one %d, replaced by value in decimal.
    ECommError(const std::string& format, int value);
};

class THComm;

// Sender and the number of bytes waiting (passed by reference; the component does not read it back).
using TCommEvent = std::function<void(THComm& sender, std::uint32_t& size)>;
// Receives the message of an exception that the receive thread caught, and the one-time report
// of a port that disappeared. Called on the receive thread.
using TCommErrorReport = std::function<void(const std::string& message)>;

class TReadThread;

class THComm {
public:
    THComm();
    virtual ~THComm();
    THComm(const THComm&) = delete;
    THComm& operator=(const THComm&) = delete;

    // Properties (getters).
    TCommPort CommPort() const;
    TBaudRate BaudRate() const;
    TParity Parity() const;
    TByteSize ByteSize() const;
    TStopBits StopBits() const;
    TFlowControl FlowControl() const;
    TEventType EventType() const;
    std::uint32_t InBuffSize() const;
    std::uint32_t OutBuffSize() const;
    std::uint32_t RxThreshold() const;
    std::uint16_t RxStartSize() const;
    std::uint16_t RxStopSize() const;
    std::uint16_t EventChar() const;
    TCommEvent OnCommEvent;
    TCommErrorReport OnCommError;

    // Setters: store the value (only if it differs) and, for the settings applied at once, apply it
    // to an open port. They never raise.
    virtual void SetCommPort(TCommPort value);
    virtual void SetBaudRate(TBaudRate value);
    virtual void SetParity(TParity value);
    virtual void SetByteSize(TByteSize value);
    virtual void SetStopBits(TStopBits value);
    virtual void SetFlowControl(TFlowControl value);
    virtual void SetEventType(TEventType value);
    virtual void SetInBuffSize(std::uint32_t value);
    virtual void SetOutBuffSize(std::uint32_t value);
    virtual void SetRxThreshold(std::uint32_t value);
    virtual void SetXonSendSize(std::uint16_t value);   // RxStartSize
    virtual void SetXoffSendSize(std::uint16_t value);  // RxStopSize
    virtual void SetEventChar(std::uint16_t value);

    // True at once for this component's own open port; otherwise tries an exclusive open of the
    // port named "COM1".."COM4" (mapped to a device by ports.conf) and closes it again. Never raises.
    bool CheckCommportValid(const std::string& name);
    void OpenCommport();
    void CloseCommport();

    void ReadData(void* buffer, std::uint32_t count);
    std::string ReadStringData(std::uint32_t count);
    void WriteData(const void* buffer, std::uint32_t count);
    void WriteStringData(const std::string& text);
    void WriteStop();
    void WriteRestart();
    void ClearInBuff();
    void ClearOutBuff();
    std::int32_t CountInBuff();
    std::int32_t CountOutBuff();
    bool GetPortStatus() const;
    // Called by the receive thread: decides whether to call OnCommEvent.
    void CreateCommEvent();

    // Linux additions.
    // Blocks until at least one byte waits in the input queue, the timeout passes or the port is
    // closed or lost. Returns whether a byte waits. Meant for the receive thread, inside the handler.
    bool WaitForInput(int timeoutMs);
    // Blocks until the output queue is empty, the timeout passes or the port is closed or lost.
    // Returns whether everything has been sent.
    bool WaitUntilSent(int timeoutMs);
    // "COM1".."COM4" of the current CommPort, and the device it maps to.
    std::string PortName() const;
    std::string DevicePath() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    friend class TReadThread;
};
