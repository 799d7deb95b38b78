#include "driver/DriverTransport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostInfo>
#include <QSerialPort>
#include <QTcpSocket>
#include <algorithm>

#if defined(Q_OS_UNIX)
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include "core/Translate.h"

namespace quillon {

namespace {

// Shared reading and writing over a Qt device in blocking mode; the subclass says how to
// wait and whether the link has gone. With an interrupt every wait is cut into slices, and
// the interrupt is looked at between them.
class TQtTransport : public ITransport {
 public:
  explicit TQtTransport(const TInterrupt* interrupt) : FInterrupt(interrupt) {}

  bool Write(TBytesView data, int timeoutMs) override {
    QIODevice& device = Device();
    if (!IsOpen() || Interrupted()) return false;
    qint64 written =
        device.write(reinterpret_cast<const char*>(data.data()), static_cast<qint64>(data.size()));
    if (written != static_cast<qint64>(data.size())) return false;
    QDeadlineTimer deadline(std::max(timeoutMs, 0));
    while (device.bytesToWrite() > 0) {
      if (!device.waitForBytesWritten(Slice(deadline)) && device.bytesToWrite() > 0 &&
          (!FInterrupt || deadline.hasExpired()))
        return false;
      if (!IsOpen() || Interrupted()) return false;
    }
    return true;
  }

  TReadStatus ReadByte(std::uint8_t& byte, int timeoutMs) override {
    QIODevice& device = Device();
    if (Interrupted()) return rsClosed;
    if (device.bytesAvailable() == 0) {
      if (!IsOpen()) return rsClosed;
      QDeadlineTimer deadline(std::max(timeoutMs, 0));
      for (;;) {
        PrepareWait();
        if (device.waitForReadyRead(Slice(deadline)) || device.bytesAvailable() > 0) break;
        if (LinkLost() || Interrupted()) return rsClosed;
        if (deadline.hasExpired()) return rsTimeout;
      }
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

  bool Interrupted() const { return FInterrupt && FInterrupt->Raised(); }
  // The next wait towards `deadline`: all of it, or one slice when an interrupt watches.
  int Slice(const QDeadlineTimer& deadline) const {
    int left = static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
    return FInterrupt ? std::min(left, TInterrupt::kInterruptSlice) : left;
  }

  const TInterrupt* FInterrupt;
};

class TTcpTransport final : public TQtTransport {
 public:
  TTcpTransport(const TDeviceAddress& address, const TInterrupt* interrupt)
      : TQtTransport(interrupt), FAddress(address) {}

  bool Open(int timeoutMs, std::string& error) override {
    Close();
    timeoutMs = std::max(timeoutMs, 1);
#if defined(Q_OS_UNIX)
    if (FInterrupt && !ConnectInterruptibly(timeoutMs, error)) return false;
    if (!FInterrupt) {
#endif
      FSocket.connectToHost(QString::fromStdString(FAddress.Host),
                            static_cast<quint16>(FAddress.Port));
      if (!FSocket.waitForConnected(timeoutMs)) {
        error = FSocket.errorString().toStdString();
        FSocket.abort();
        return false;
      }
#if defined(Q_OS_UNIX)
    }
#endif
    // Control bytes go out one at a time and must not wait for company.
    FSocket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
  }

  void Close() override {
    FSocket.abort();
  }

  bool IsOpen() override {
    return FSocket.state() == QAbstractSocket::ConnectedState;
  }

 protected:
  QIODevice& Device() override {
    return FSocket;
  }
  bool LinkLost() override {
    return !IsOpen();
  }

 private:
#if defined(Q_OS_UNIX)
  // waitForConnected gives the connection up when its time runs out, so it cannot wait in
  // slices. An interruptible connect is made on a socket of the system's instead, watched a
  // slice at a time, and handed to the Qt socket once it stands. The host's addresses are
  // tried in turn, as Qt does.
  bool ConnectInterruptibly(int timeoutMs, std::string& error) {
    const QDeadlineTimer deadline(timeoutMs);
    const QString name = QString::fromStdString(FAddress.Host);
    QList<QHostAddress> addresses;
    if (QHostAddress literal; literal.setAddress(name)) {
      addresses.append(literal);
    } else {
      const QHostInfo host = QHostInfo::fromName(name);
      if (host.error() != QHostInfo::NoError || host.addresses().isEmpty()) {
        error = host.errorString().toStdString();
        return false;
      }
      addresses = host.addresses();
    }
    for (const QHostAddress& address : addresses) {
      sockaddr_storage storage{};
      socklen_t length = 0;
      if (!ToSocketAddress(address, storage, length)) continue;
      int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      if (fd < 0) {
        error = std::strerror(errno);
        continue;
      }
      const TConnect result =
          Connect(fd, reinterpret_cast<const sockaddr*>(&storage), length, deadline, error);
      if (result == cnDone && FSocket.setSocketDescriptor(fd)) return true;
      ::close(fd);
      if (result == cnDone) error = FSocket.errorString().toStdString();
      if (result == cnGiveUp) return false;
    }
    return false;
  }

  enum TConnect { cnDone, cnRefused, cnGiveUp };

  TConnect Connect(int fd, const sockaddr* address, socklen_t length,
                   const QDeadlineTimer& deadline, std::string& error) {
    if (::connect(fd, address, length) == 0) return cnDone;
    if (errno != EINPROGRESS) {
      error = std::strerror(errno);
      return cnRefused;
    }
    for (;;) {
      if (Interrupted()) {
        error = Tr("Обмен прерван");
        return cnGiveUp;
      }
      if (deadline.hasExpired()) {
        error = QCoreApplication::translate("QAbstractSocket", "Socket operation timed out")
                    .toStdString();
        return cnGiveUp;
      }
      pollfd entry{fd, POLLOUT, 0};
      int ready = ::poll(&entry, 1, Slice(deadline));
      if (ready < 0 && errno != EINTR) {
        error = std::strerror(errno);
        return cnRefused;
      }
      if (ready <= 0) continue;
      int failure = 0;
      socklen_t size = sizeof failure;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &size) != 0) failure = errno;
      if (failure == 0) return cnDone;
      error = std::strerror(failure);
      return cnRefused;
    }
  }

  bool ToSocketAddress(const QHostAddress& address, sockaddr_storage& storage,
                       socklen_t& length) const {
    const auto port = htons(static_cast<std::uint16_t>(FAddress.Port));
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
      auto* in = reinterpret_cast<sockaddr_in*>(&storage);
      in->sin_family = AF_INET;
      in->sin_port = port;
      in->sin_addr.s_addr = htonl(address.toIPv4Address());
      length = sizeof(sockaddr_in);
      return true;
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
      auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
      in6->sin6_family = AF_INET6;
      in6->sin6_port = port;
      const Q_IPV6ADDR bytes = address.toIPv6Address();
      std::memcpy(in6->sin6_addr.s6_addr, bytes.c, sizeof bytes.c);
      const QString scope = address.scopeId();
      bool numeric = false;
      in6->sin6_scope_id = scope.toUInt(&numeric);
      if (!numeric && !scope.isEmpty()) in6->sin6_scope_id = if_nametoindex(scope.toLocal8Bit());
      length = sizeof(sockaddr_in6);
      return true;
    }
    return false;
  }
#endif

  TDeviceAddress FAddress;
  QTcpSocket FSocket;
};

class TSerialTransport final : public TQtTransport {
 public:
  TSerialTransport(const TDeviceAddress& address, const TInterrupt* interrupt)
      : TQtTransport(interrupt), FAddress(address) {}

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

std::unique_ptr<ITransport> CreateTransport(const TDeviceAddress& address,
                                            const TInterrupt* interrupt) {
  if (address.Kind == tkSerial) return std::make_unique<TSerialTransport>(address, interrupt);
  return std::make_unique<TTcpTransport>(address, interrupt);
}

}  // namespace quillon
