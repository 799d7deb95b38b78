#include <gtest/gtest.h>

#include <string>

#include "core/Errors.h"
#include "driver/DeviceAddress.h"

namespace quillon {
namespace {

TDeviceAddress MustParse(const std::string& uri) {
  TDeviceAddress address;
  std::string error;
  EXPECT_TRUE(TDeviceAddress::TryParse(uri, address, error)) << uri << ": " << error;
  EXPECT_EQ(error, "");
  return address;
}

std::string ParseError(const std::string& uri) {
  TDeviceAddress address;
  address.Host = "untouched";
  std::string error;
  EXPECT_FALSE(TDeviceAddress::TryParse(uri, address, error)) << uri;
  EXPECT_EQ(address.Host, "untouched") << uri;
  return error;
}

TEST(DeviceAddress, ReadsTcpAddresses) {
  TDeviceAddress address = MustParse("tcp://127.0.0.1:7790");
  EXPECT_EQ(address.Kind, tkTcp);
  EXPECT_EQ(address.Host, "127.0.0.1");
  EXPECT_EQ(address.Port, 7790);

  address = MustParse("tcp://kkt-1.local");
  EXPECT_EQ(address.Host, "kkt-1.local");
  EXPECT_EQ(address.Port, 7778);

  address = MustParse("tcp://[::1]:65535");
  EXPECT_EQ(address.Host, "::1");
  EXPECT_EQ(address.Port, 65535);
  EXPECT_EQ(address.ToUri(), "tcp://[::1]:65535");

  EXPECT_EQ(MustParse("tcp://localhost:1").Port, 1);
  EXPECT_EQ(MustParse("tcp://localhost").ToUri(), "tcp://localhost:7778");
}

TEST(DeviceAddress, ReadsSerialAddresses) {
  TDeviceAddress address = MustParse("serial:/dev/ttyUSB0?baud=9600");
  EXPECT_EQ(address.Kind, tkSerial);
  EXPECT_EQ(address.Device, "/dev/ttyUSB0");
  EXPECT_EQ(address.BaudRate, 9600);

  address = MustParse("serial:/dev/ttyS0");
  EXPECT_EQ(address.Device, "/dev/ttyS0");
  EXPECT_EQ(address.BaudRate, 115200);

  address = MustParse("serial:///dev/ttyACM1?baud=2400");
  EXPECT_EQ(address.Device, "/dev/ttyACM1");
  EXPECT_EQ(address.BaudRate, 2400);
  EXPECT_EQ(address.ToUri(), "serial:/dev/ttyACM1?baud=2400");

  for (int baud : {2400, 4800, 9600, 19200, 38400, 57600, 115200})
    EXPECT_EQ(MustParse("serial:/dev/ttyS0?baud=" + std::to_string(baud)).BaudRate, baud);
  // The canonical form reads back as the same address.
  for (const char* uri : {"tcp://127.0.0.2:7778", "serial:/dev/ttyUSB3?baud=57600"})
    EXPECT_EQ(MustParse(MustParse(uri).ToUri()), MustParse(uri));
}

TEST(DeviceAddress, ExplainsBadAddressesInRussian) {
  EXPECT_EQ(ParseError(""), "Не задан адрес устройства");
  EXPECT_EQ(ParseError("http://host:80"),
            "Неизвестный вид адреса устройства: http://host:80 (ожидается tcp://ХОСТ:ПОРТ или "
            "serial:УСТРОЙСТВО?baud=СКОРОСТЬ)");
  EXPECT_EQ(ParseError("TCP://host:7778").find("Неизвестный вид адреса"), 0u);

  EXPECT_EQ(ParseError("tcp://:7778"), "Не указан хост в адресе устройства: tcp://:7778");
  EXPECT_EQ(ParseError("tcp://"), "Не указан хост в адресе устройства: tcp://");
  for (const char* uri : {"tcp://host:0", "tcp://host:65536", "tcp://host:", "tcp://host:77a",
                          "tcp://host:-1", "tcp://[::1]:99999"}) {
    EXPECT_EQ(ParseError(uri), std::string("Неверный номер порта в адресе устройства: ") + uri +
                                   " (допустимо от 1 до 65535)");
  }
  EXPECT_EQ(ParseError("tcp://host:7778/path"),
            "Лишние символы в адресе устройства: tcp://host:7778/path");
  EXPECT_EQ(ParseError("tcp://host/x").find("Лишние символы"), 0u);
  EXPECT_EQ(ParseError("tcp://[::1]x").find("Лишние символы"), 0u);
  EXPECT_EQ(ParseError("tcp://ho st:1").find("Недопустимые символы в имени хоста"), 0u);
  EXPECT_EQ(ParseError("tcp://[::1:7778").find("Неверный адрес IPv6"), 0u);

  EXPECT_EQ(ParseError("serial:"),
            "Не указано устройство последовательного порта в адресе: serial:");
  EXPECT_EQ(ParseError("serial:?baud=9600").find("Не указано устройство"), 0u);
  for (const char* uri : {"serial:/dev/ttyS0?baud=300", "serial:/dev/ttyS0?baud=230400",
                          "serial:/dev/ttyS0?baud=", "serial:/dev/ttyS0?baud=96OO"}) {
    EXPECT_EQ(ParseError(uri), std::string("Неверная скорость порта в адресе устройства: ") + uri +
                                   " (допустимо 2400, 4800, 9600, 19200, 38400, 57600, 115200)");
  }
  EXPECT_EQ(ParseError("serial:/dev/ttyS0?parity=none"),
            "Неизвестный параметр в адресе устройства: serial:/dev/ttyS0?parity=none");
  EXPECT_EQ(ParseError("serial:/dev/tty S0").find("Недопустимые символы"), 0u);

  try {
    TDeviceAddress::Parse("tcp://host:0");
    ADD_FAILURE() << "no error raised";
  } catch (const EQuillonError& error) {
    EXPECT_EQ(std::string(error.what()).find("Неверный номер порта"), 0u);
  }
  EXPECT_EQ(TDeviceAddress::Parse("tcp://h:5").Port, 5);
}

}  // namespace
}  // namespace quillon
