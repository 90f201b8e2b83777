#pragma once
// The few serial port operations the transfer engine needs. The engine never sees the port
// component itself, so the same engine runs against the real port, a test script or a command
// line. Every failure is raised as an exception (the serial layer's EOxException family or the
// runtime's EInOutError); nothing is reported through return values.

#include <cstdint>
#include <string>

namespace vaultix::transfer {

class TTransferPort {
public:
    virtual ~TTransferPort() = default;

    // Bytes received and not yet taken; 0 while the port is closed.
    virtual std::uint16_t InputCount() = 0;
    // Bytes queued and not yet sent; 0 while the port is closed.
    virtual std::uint16_t OutputCount() = 0;
    // Takes exactly Count waiting bytes, oldest first. With fewer waiting it takes nothing and
    // raises.
    virtual void ReadBlock(void* Buffer, std::uint16_t Count) = 0;
    // Queues one byte for sending.
    virtual void WriteByte(std::uint8_t Value) = 0;
    // Queues the bytes of Text in order, all or none; raises when they do not fit.
    virtual void WriteText(const std::string& Text) = 0;
    // Discards everything received and not yet taken.
    virtual void ClearInput() = 0;
    // Discards everything queued and not yet sent.
    virtual void ClearOutput() = 0;
};

// Adapts any port object with members of these names (the window's serial port component) to
// the engine's interface, holding a reference to it.
template <class TPort> class TTransferPortOf final : public TTransferPort {
public:
    explicit TTransferPortOf(TPort& Port) : FPort(Port) {}

    std::uint16_t InputCount() override { return static_cast<std::uint16_t>(FPort.InputCount()); }
    std::uint16_t OutputCount() override { return static_cast<std::uint16_t>(FPort.OutputCount()); }
    void ReadBlock(void* Buffer, std::uint16_t Count) override { FPort.ReadBlock(Buffer, Count); }
    void WriteByte(std::uint8_t Value) override { FPort.WriteByte(Value); }
    void WriteText(const std::string& Text) override { FPort.WriteText(Text); }
    void ClearInput() override { FPort.ClearInput(); }
    void ClearOutput() override { FPort.ClearOutput(); }

private:
    TPort& FPort;
};

} // namespace vaultix::transfer
