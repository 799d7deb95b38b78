#include "driver/DriverTransport.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QTcpSocket>
#include <algorithm>

namespace quillon {

namespace {

// Shared reading and writing over a Qt device in blocking mode; the subclass says how to
// wait and whether the link has gone.
class TQtTransport : public ITransport {
 public:
  bool Write(TBytesView data, int timeoutMs) override {
    QIODevice& device = Device();
    if (!IsOpen()) return false;
    qint64 written =
        device.write(reinterpret_cast<const char*>(data.data()), static_cast<qint64>(data.size()));
    if (written != static_cast<qint64>(data.size())) return false;
    QDeadlineTimer deadline(std::max(timeoutMs, 0));
    while (device.bytesToWrite() > 0) {
      int left = static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
      if (!device.waitForBytesWritten(left) && device.bytesToWrite() > 0) return false;
      if (!IsOpen()) return false;
    }
    return true;
  }

  TReadStatus ReadByte(std::uint8_t& byte, int timeoutMs) override {
    QIODevice& device = Device();
    if (device.bytesAvailable() == 0) {
      if (!IsOpen()) return rsClosed;
      PrepareWait();
      if (!device.waitForReadyRead(std::max(timeoutMs, 0)) && device.bytesAvailable() == 0)
        return LinkLost() ? rsClosed : rsTimeout;
    }
    char c = 0;
    if (!device.getChar(&c)) return LinkLost() ? rsClosed : rsTimeout;
    byte = static_cast<std::uint8_t>(c);
    return rsByte;
  }

  void Discard() override {
    QIODevice& device = Device();
    if (!device.isOpen()) return;
    device.readAll();
    while (IsOpen() && device.waitForReadyRead(0)) device.readAll();
  }

 protected:
  virtual QIODevice& Device() = 0;
  virtual void PrepareWait() {}
  // After a failed wait: whether the link is down rather than merely quiet.
  virtual bool LinkLost() = 0;
};

class TTcpTransport final : public TQtTransport {
 public:
  explicit TTcpTransport(const TDeviceAddress& address) : FAddress(address) {}

  bool Open(int timeoutMs, std::string& error) override {
    Close();
    FSocket.connectToHost(QString::fromStdString(FAddress.Host),
                          static_cast<quint16>(FAddress.Port));
    if (!FSocket.waitForConnected(std::max(timeoutMs, 1))) {
      error = FSocket.errorString().toStdString();
      FSocket.abort();
      return false;
    }
    // Control bytes go out one at a time and must not wait for company.
    FSocket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
  }

  void Close() override { FSocket.abort(); }

  bool IsOpen() override { return FSocket.state() == QAbstractSocket::ConnectedState; }

 protected:
  QIODevice& Device() override { return FSocket; }
  bool LinkLost() override { return !IsOpen(); }

 private:
  TDeviceAddress FAddress;
  QTcpSocket FSocket;
};

class TSerialTransport final : public TQtTransport {
 public:
  explicit TSerialTransport(const TDeviceAddress& address) : FAddress(address) {}

  bool Open(int, std::string& error) override {
    Close();
    FPort.setPortName(QString::fromStdString(FAddress.Device));
    if (!FPort.open(QIODevice::ReadWrite)) {
      error = FPort.errorString().toStdString();
      return false;
    }
    bool ok = FPort.setBaudRate(FAddress.BaudRate) && FPort.setDataBits(QSerialPort::Data8) &&
              FPort.setParity(QSerialPort::NoParity) && FPort.setStopBits(QSerialPort::OneStop) &&
              FPort.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
      error = FPort.errorString().toStdString();
      FPort.close();
      return false;
    }
    FPort.clear();
    return true;
  }

  void Close() override {
    if (FPort.isOpen()) FPort.close();
    FPort.clearError();
  }

  bool IsOpen() override { return FPort.isOpen() && !Broken(); }

 protected:
  QIODevice& Device() override { return FPort; }
  void PrepareWait() override { FPort.clearError(); }
  bool LinkLost() override { return !FPort.isOpen() || Broken(); }

 private:
  // A timeout is the only error that leaves the port usable.
  bool Broken() const {
    auto error = FPort.error();
    return error != QSerialPort::NoError && error != QSerialPort::TimeoutError;
  }

  TDeviceAddress FAddress;
  QSerialPort FPort;
};

}  // namespace

std::unique_ptr<ITransport> CreateTransport(const TDeviceAddress& address) {
  if (address.Kind == tkSerial) return std::make_unique<TSerialTransport>(address);
  return std::make_unique<TTcpTransport>(address);
}

}  // namespace quillon
