#include "ui/HexDump.h"

#include <QStringList>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/untCommand.h"
#include "ui/UiText.h"

namespace quillon {

namespace {

constexpr int kOffsetDigits = 4;
constexpr int kHexStart = kOffsetDigits + 2;
// Sixteen bytes of "XX " with one more blank after the eighth, and a blank before the
// characters.
constexpr int kCharStart = kHexStart + static_cast<int>(THexDump::kRowBytes) * 3 + 2;

int HexColumn(std::size_t inRow) {
  return kHexStart + static_cast<int>(inRow) * 3 + (inRow >= THexDump::kRowBytes / 2 ? 1 : 0);
}

}  // namespace

QChar THexDump::ByteChar(std::uint8_t byte) {
  const QString text = Q(Cp1251ToUtf8(RawChars(TBytesView(&byte, 1))));
  const QChar c = text.size() == 1 ? text.front() : QChar(QChar::ReplacementCharacter);
  return c == QChar(QChar::ReplacementCharacter) || !c.isPrint() ? QLatin1Char('.') : c;
}

THexDump::THexDump(const TCommand& command, const TFieldMap& map) {
  const std::string played = command.PlayedAnswerData();
  const std::string* hex[kBytesSides] = {&command.TxData(), &command.AnswerData(), &played};
  const QString headings[kBytesSides] = {T("Передано, байт: %1"), T("Принято (лог), байт: %1"),
                                         T("Принято (ККТ), байт: %1")};
  QStringList lines;
  for (int s = 0; s < kBytesSides; ++s) {
    TSide& side = FSides[s];
    side.Bytes = HexToBytes(*hex[s]);
    if (s > 0) lines << QString();
    lines << headings[s].arg(static_cast<qulonglong>(side.Bytes.size()));
    side.FirstRowLine = static_cast<int>(lines.size());
    for (std::size_t row = 0; row < side.Bytes.size(); row += kRowBytes) {
      QString line = QStringLiteral("%1  ").arg(row, kOffsetDigits, 16, QLatin1Char('0')).toUpper();
      QString chars;
      for (std::size_t i = 0; i < kRowBytes && row + i < side.Bytes.size(); ++i) {
        const std::uint8_t byte = side.Bytes[row + i];
        line.resize(HexColumn(i), QLatin1Char(' '));
        line += QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
        chars += ByteChar(byte);
      }
      line.resize(kCharStart, QLatin1Char(' '));
      lines << line + chars;
    }
    QStringList missing;
    for (const TFieldPlace& place : map.Places())
      if (place.Side == s && place.Depth == 0 && !place.Complete) missing << Q(place.Name);
    if (!missing.isEmpty())
      lines << T("Не хватило байтов для полей: %1").arg(missing.join(QStringLiteral(", ")));
  }
  FText = lines.join(QLatin1Char('\n'));
}

TBytePosition THexDump::Position(TBytesSide side, std::size_t offset) const {
  const TSide& s = FSides[side];
  if (offset >= s.Bytes.size()) return {};
  const std::size_t inRow = offset % kRowBytes;
  return {s.FirstRowLine + static_cast<int>(offset / kRowBytes), HexColumn(inRow),
          kCharStart + static_cast<int>(inRow)};
}

bool THexDump::ByteAt(int line, int column, TBytesSide& side, std::size_t& offset) const {
  for (int s = 0; s < kBytesSides; ++s) {
    const TSide& bytes = FSides[s];
    const int row = line - bytes.FirstRowLine;
    if (row < 0 || static_cast<std::size_t>(row) * kRowBytes >= bytes.Bytes.size()) continue;
    for (std::size_t inRow = 0; inRow < kRowBytes; ++inRow) {
      const int hex = HexColumn(inRow);
      if (column != hex && column != hex + 1 && column != kCharStart + static_cast<int>(inRow))
        continue;
      const std::size_t at = static_cast<std::size_t>(row) * kRowBytes + inRow;
      if (at >= bytes.Bytes.size()) return false;
      side = static_cast<TBytesSide>(s);
      offset = at;
      return true;
    }
    return false;
  }
  return false;
}

}  // namespace quillon
