// Where the register is: a TCP host and port, or a serial device and its speed, written as
// a URI ("tcp://192.0.2.10:7778", "serial:/dev/ttyUSB0?baud=115200").
#pragma once

#include <string>
#include <string_view>

namespace quillon {

enum TTransportKind { tkTcp, tkSerial };

struct TDeviceAddress {
  static constexpr int kDefaultPort = 7778;
  static constexpr int kDefaultBaudRate = 115200;

  TTransportKind Kind = tkTcp;
  std::string Host;  // tkTcp: a name, an IPv4 address or an IPv6 address without brackets
  int Port = kDefaultPort;
  std::string Device;  // tkSerial: the device path
  int BaudRate = kDefaultBaudRate;

  // Reads a URI; a bad one answers false and puts a Russian message in `error`.
  static bool TryParse(std::string_view uri, TDeviceAddress& address, std::string& error);
  // The same, raising EQuillonError with that message.
  static TDeviceAddress Parse(std::string_view uri);
  // The canonical URI of the address.
  std::string ToUri() const;

  friend bool operator==(const TDeviceAddress&, const TDeviceAddress&) = default;
};

// The speeds a serial link accepts, from 2400 to 115200 baud.
bool IsSupportedBaudRate(int baud);

}  // namespace quillon
