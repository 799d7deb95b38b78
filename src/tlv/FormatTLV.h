// Value formats of fiscal TLV records: the bytes in the value field of one record turned
// into numbers, time stamps and text, and numbers and time stamps turned into such bytes.
#pragma once

#include <cstdint>
#include <string>

#include "core/Bytes.h"
#include "core/DateUtils.h"

namespace quillon {

// A fixed-point amount with four decimal places: Raw holds the amount times 10 000,
// so 1.5 is Raw 15000. FVLN values are built from and decoded into this type.
struct TAmount {
  static constexpr std::int64_t kScale = 10000;

  std::int64_t Raw = 0;

  static constexpr TAmount FromRaw(std::int64_t raw) { return TAmount{raw}; }
  // The nearest amount (ties to even); values outside the 64-bit range saturate.
  static TAmount FromDouble(double value);
  double ToDouble() const { return static_cast<double>(Raw) / kScale; }

  constexpr bool operator==(const TAmount&) const = default;
};

// Value kinds reported by TFormatTLV::GetTypeTLV.
enum TypeTLV : int {
  tlvUnknown = 0,
  tlvByte = 1,
  tlvInt32 = 2,
  tlvInt16 = 3,
  tlvSTLV = 4,
  tlvUnixTime = 5,
  tlvVLN = 6,
  tlvFVLN = 7,
  tlvASCII = 8,
};

// Stateless toolbox of the TLV value encodings:
//  - unsigned integer: 1..8 bytes, little-endian;
//  - VLN: unsigned little-endian integer in as few bytes as the value needs (1..8);
//  - FVLN: one byte with the number of decimals p (0..8), then the mantissa as a VLN;
//  - UnixTime: 4 bytes, little-endian seconds since 1970-01-01 (signed when read);
//  - string: code page 866, ending at the first zero byte.
// Failures raise EQuillonError with "to large data" or "Неверная длина FVLN".
class TFormatTLV {
 public:
  TFormatTLV() = delete;

  static TypeTLV GetTypeTLV(std::int32_t MsgId);

  // Exactly aSizeInBytes bytes (1..8, otherwise "to large data"), little-endian;
  // higher bytes of the value are dropped.
  static TBytes Int2ValueTLV(std::int64_t aValue, std::int32_t aSizeInBytes);
  // The value taken as unsigned, in as few bytes as it needs (at least one).
  static TBytes VLN2ValueTLV(std::int64_t aValue);
  // Exactly ALen bytes, little-endian (bytes past the eighth are zero); none when ALen <= 0.
  static TBytes VLN2ValueTLVLen(std::int64_t aValue, std::int32_t ALen);
  // Point byte (the fewest decimals that hold the amount exactly) and VLN mantissa.
  static TBytes FVLN2ValueTLV(TAmount aValue);
  // The same point byte, then a mantissa of exactly ALength - 1 bytes.
  static TBytes FVLN2ValueTLVLen(TAmount aValue, std::int32_t ALength);
  // Seconds since 1970-01-01 (rounded, ties to even), low 32 bits, little-endian.
  static TBytes UnixTime2ValueTLV(TDateTime d);

  // Anything but exactly 4 bytes gives the zero date-time.
  static TDateTime ValueTLV2UnixTime(TBytesView s);
  // Little-endian unsigned value; empty gives 0, only the first eight bytes count.
  static std::uint64_t ValueTLV2Int(TBytesView s);
  static std::uint64_t ValueTLV2VLN(TBytesView s);
  // Raises "Неверная длина FVLN" for fewer than 2 bytes or a point byte above 8.
  // Decimals past the fourth are rounded away one at a time (ties to even).
  static TAmount ValueTLV2FVLN(TBytesView s);
  // Text with exactly p decimals and a full stop; empty for no bytes; raises
  // "Неверная длина FVLN" for a single byte or a point byte above 8.
  static std::string ValueTLV2FVLNstr(TBytesView s);
  // Code page 866 text up to the first zero byte, as UTF-8.
  static std::string ValueTLV2ASCII(TBytesView s);
};

}  // namespace quillon
