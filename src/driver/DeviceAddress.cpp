#include "driver/DeviceAddress.h"

#include <array>
#include <charconv>

#include "core/BinUtils.h"
#include "core/Errors.h"
#include "core/Translate.h"

namespace quillon {

namespace {

constexpr std::string_view kTcpScheme = "tcp://";
constexpr std::string_view kSerialScheme = "serial:";
constexpr std::array<int, 7> kBaudRates = {2400, 4800, 9600, 19200, 38400, 57600, 115200};

// The translated pattern with its one "%s" replaced by `arg`.
std::string Format(const char* pattern, std::string_view arg) {
  std::string text = Tr(pattern);
  if (auto pos = text.find("%s"); pos != std::string::npos) text.replace(pos, 2, arg);
  return text;
}

// A decimal number of digits only, within [low, high].
bool ReadNumber(std::string_view text, int low, int high, int& value) {
  if (text.empty() || text.size() > 9) return false;
  int result = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (result < low || result > high) return false;
  value = result;
  return true;
}

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

bool IsIPv6Char(char c) {
  return HexDigitValue(c) >= 0 || c == ':' || c == '.';
}

bool ParseTcp(std::string_view uri, std::string_view rest, TDeviceAddress& address,
              std::string& error) {
  std::string_view host;
  std::string_view tail;
  if (!rest.empty() && rest.front() == '[') {
    auto close = rest.find(']');
    if (close == std::string_view::npos) {
      error = Format(N_("Неверный адрес IPv6 в адресе устройства: %s"), uri);
      return false;
    }
    host = rest.substr(1, close - 1);
    for (char c : host) {
      if (!IsIPv6Char(c)) {
        error = Format(N_("Неверный адрес IPv6 в адресе устройства: %s"), uri);
        return false;
      }
    }
    tail = rest.substr(close + 1);
  } else {
    auto colon = rest.find(':');
    host = rest.substr(0, colon);
    tail = colon == std::string_view::npos ? std::string_view() : rest.substr(colon);
    // Anything after the host other than the port (a path, a query) is not ours.
    auto stop = host.find_first_of("/?#");
    if (stop != std::string_view::npos) {
      error = Format(N_("Лишние символы в адресе устройства: %s"), uri);
      return false;
    }
    for (char c : host) {
      if (!IsHostChar(c)) {
        error = Format(N_("Недопустимые символы в имени хоста в адресе устройства: %s"), uri);
        return false;
      }
    }
  }
  if (host.empty()) {
    error = Format(N_("Не указан хост в адресе устройства: %s"), uri);
    return false;
  }
  int port = TDeviceAddress::kDefaultPort;
  if (!tail.empty()) {
    if (tail.front() != ':') {
      error = Format(N_("Лишние символы в адресе устройства: %s"), uri);
      return false;
    }
    std::string_view digits = tail.substr(1);
    if (auto stop = digits.find_first_of("/?#"); stop != std::string_view::npos) {
      error = Format(N_("Лишние символы в адресе устройства: %s"), uri);
      return false;
    }
    if (!ReadNumber(digits, 1, 65535, port)) {
      error =
          Format(N_("Неверный номер порта в адресе устройства: %s (допустимо от 1 до 65535)"), uri);
      return false;
    }
  }
  address = TDeviceAddress();
  address.Kind = tkTcp;
  address.Host = std::string(host);
  address.Port = port;
  return true;
}

bool ParseSerial(std::string_view uri, std::string_view rest, TDeviceAddress& address,
                 std::string& error) {
  // "serial:///dev/ttyS0" is accepted as well as "serial:/dev/ttyS0".
  if (rest.starts_with("//")) rest.remove_prefix(2);
  auto question = rest.find('?');
  std::string_view device = rest.substr(0, question);
  std::string_view query =
      question == std::string_view::npos ? std::string_view() : rest.substr(question + 1);
  if (device.empty()) {
    error = Format(N_("Не указано устройство последовательного порта в адресе: %s"), uri);
    return false;
  }
  for (char c : device) {
    if (static_cast<unsigned char>(c) <= 0x20) {
      error = Format(N_("Недопустимые символы в имени последовательного порта: %s"), uri);
      return false;
    }
  }
  int baud = TDeviceAddress::kDefaultBaudRate;
  while (!query.empty()) {
    auto amp = query.find('&');
    std::string_view item = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (item.empty()) continue;
    auto eq = item.find('=');
    std::string_view name = item.substr(0, eq);
    std::string_view value =
        eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1);
    if (name != "baud") {
      error = Format(N_("Неизвестный параметр в адресе устройства: %s"), uri);
      return false;
    }
    if (!ReadNumber(value, 1, 10000000, baud) || !IsSupportedBaudRate(baud)) {
      error =
          Format(N_("Неверная скорость порта в адресе устройства: %s (допустимо 2400, 4800, 9600, "
                    "19200, 38400, 57600, 115200)"),
                 uri);
      return false;
    }
  }
  address = TDeviceAddress();
  address.Kind = tkSerial;
  address.Device = std::string(device);
  address.BaudRate = baud;
  return true;
}

}  // namespace

bool IsSupportedBaudRate(int baud) {
  for (int rate : kBaudRates)
    if (rate == baud) return true;
  return false;
}

bool TDeviceAddress::TryParse(std::string_view uri, TDeviceAddress& address, std::string& error) {
  if (uri.empty()) {
    error = Tr("Не задан адрес устройства");
    return false;
  }
  if (uri.starts_with(kTcpScheme))
    return ParseTcp(uri, uri.substr(kTcpScheme.size()), address, error);
  if (uri.starts_with(kSerialScheme))
    return ParseSerial(uri, uri.substr(kSerialScheme.size()), address, error);
  error = Format(N_("Неизвестный вид адреса устройства: %s (ожидается tcp://ХОСТ:ПОРТ или "
                    "serial:УСТРОЙСТВО?baud=СКОРОСТЬ)"),
                 uri);
  return false;
}

TDeviceAddress TDeviceAddress::Parse(std::string_view uri) {
  TDeviceAddress address;
  std::string error;
  if (!TryParse(uri, address, error)) throw EQuillonError(error);
  return address;
}

std::string TDeviceAddress::ToUri() const {
  if (Kind == tkSerial)
    return std::string(kSerialScheme) + Device + "?baud=" + std::to_string(BaudRate);
  bool v6 = Host.find(':') != std::string::npos;
  return std::string(kTcpScheme) + (v6 ? "[" + Host + "]" : Host) + ":" + std::to_string(Port);
}

}  // namespace quillon
