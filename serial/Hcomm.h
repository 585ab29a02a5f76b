#pragma once
// THComm: one RS-232 port over POSIX termios, with a receive thread that calls the owner's
// OnCommEvent handler when bytes are waiting. Every failure it detects is raised as ECommError
// with one of a fixed set of English messages. The component never prints.
//
// Threads: construction, open, close, the setters, writes, purges and counts belong to the owner's
// thread; the receive thread runs the handler and the reads the handler makes. A read on the
// receive thread and a write on the owner's thread may overlap; two reads or two writes may not.
// The writes may also be made on one thread of the owner's own, so that a window never waits on
// them, while the owner's thread opens, closes and sets the port.
// The component never depends on a GUI toolkit: the owner hands the handler's work to its own
// thread by whatever means it has.
//
// In detail:
// - Safe from any thread at any time: GetPortStatus, the getters, CountInBuff, CountOutBuff,
//   WaitForInput, WaitUntilSent, ClearInBuff, ClearOutBuff, WriteStop, WriteRestart. A close on
//   another thread makes a blocked WaitForInput, WaitUntilSent, ReadData or WriteData return at once
//   (the reads and writes then raise "Have not started communications").
// - CloseCommport may be called while the handler runs: it wakes the receive thread, waits for it
//   to end (the handler must return; a handler blocked in WaitForInput is released) and then
//   releases the port. Called from inside the handler it does not wait for its own thread: the
//   port is closed for every later call at once, and the device itself is released when the
//   handler returns and the thread ends. Destroying the component from inside its handler is not
//   supported.
// - The handler runs only on the receive thread, one call at a time. An exception that escapes it
//   is caught there and its what() text passed to OnCommError; the thread keeps receiving.
// - A port that disappears (adapter pulled, peer of a pseudo-terminal closed) is reported once
//   through OnCommError as "Comport lost: <device>"; the receive thread then ends. Reads and
//   writes raise their usual errors until the owner closes the port.
// - Assign OnCommEvent and OnCommError before opening the port; the receive thread reads them.
// - In CharEvent mode the receive thread reads arriving bytes ahead into the component (Linux has
//   no wake-up on an event character) so that it can see the event character; ReadData and
//   CountInBuff include those bytes. Reads in that mode belong to the handler.
//
// Linux limits: the driver sizes its own queues and XON/XOFF thresholds (InBuffSize, RxStartSize
// and RxStopSize are stored only; OutBuffSize bounds every write), DtrDsr keeps DTR and RTS on
// without a DSR handshake, 1.5 stop bits are asked for as 2 (a UART sends 1.5 with 5 data bits),
// and a failed open always raises "CommOpen Error,invalid HANDLE:0xFFFFFFFF". Requests that
// pseudo-terminals and simple adapters refuse (modem lines, line-error counters) are skipped; the
// error mask is then 0.
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
class TSerialSystem;

class THComm {
public:
    THComm();
    // Makes every system call through system, which must outlive the component (tests).
    explicit THComm(TSerialSystem& system);
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

    // Reads up to count bytes: returns when all have arrived, when 1000 ms pass after a byte
    // without another, or when 1000 ms + 5 ms per requested byte have passed, with the bytes that
    // have arrived (the rest of the buffer is left as it was).
    void ReadData(void* buffer, std::uint32_t count);
    // ReadData that also tells how many bytes it delivered.
    std::uint32_t ReadDataCounted(void* buffer, std::uint32_t count);
    // At most 4096 bytes are read; a larger count reads 4096.
    std::string ReadStringData(std::uint32_t count);
    void WriteData(const void* buffer, std::uint32_t count);
    // The longest block WriteData takes while nothing waits in the output queue: OutBuffSize - 1.
    std::uint32_t LargestWrite() const;
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
    // A negative timeout waits without limit in both.
    bool WaitUntilSent(int timeoutMs);
    // Reads the bytes that are waiting, up to count, and returns how many it read: 0 when none
    // wait. Never waits. Meant for the handler, which reads everything waiting in one call.
    std::uint32_t ReadWaiting(void* buffer, std::uint32_t count);
    // True while the open port has gone (adapter pulled, far end of a pseudo-terminal closed). The
    // waits above then return false at once: a caller that loops on them should stop when this
    // says so. False while the port is closed.
    bool IsPortLost() const;
    // "COM1".."COM4" of the current CommPort, and the device it maps to.
    std::string PortName() const;
    std::string DevicePath() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    friend class TReadThread;
};
