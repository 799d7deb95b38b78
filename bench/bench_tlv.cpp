// Throughput of the TLV decoder on fiscal documents built with the value encoders:
// records decoded per second (items/s), nested records included.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "core/DateUtils.h"
#include "core/FormatSettings.h"
#include "tlv/FormatTLV.h"
#include "tlv/TLVParser.h"

namespace {

using quillon::TAmount;
using quillon::TBytes;
using F = quillon::TFormatTLV;

// Builds a TLV list and counts every record in it, nested ones included.
class TDocBuilder {
 public:
  TDocBuilder& Add(std::uint16_t tag, const TBytes& value) {
    FData += F::Int2ValueTLV(tag, 2);
    FData += F::Int2ValueTLV(static_cast<std::int64_t>(value.size()), 2);
    FData += value;
    ++FRecords;
    return *this;
  }
  TDocBuilder& Add(std::uint16_t tag, const TDocBuilder& inner) {
    Add(tag, inner.FData);
    FRecords += inner.FRecords;
    return *this;
  }
  TDocBuilder& Text(std::uint16_t tag, const std::string& cp866) {
    return Add(tag, quillon::RawBytes(cp866));
  }

  const TBytes& Data() const { return FData; }
  std::int64_t Records() const { return FRecords; }

 private:
  TBytes FData;
  std::int64_t FRecords = 0;
};

// "Товар" in code page 866.
const std::string kGoods = "\x92\xAE\xA2\xA0\xE0";

TDocBuilder Item(int n) {
  TDocBuilder agent;
  agent.Text(1005, "Moscow, Lenina 1").Text(1016, "7700000000  ").Text(1073, "+70000000000");
  TDocBuilder item;
  item.Text(1030, kGoods + " " + std::to_string(n) + " 0.5 l")
      .Add(1079, F::VLN2ValueTLV(12345 + n))
      .Add(1023, F::FVLN2ValueTLV(TAmount::FromRaw(15000 + 10 * n)))
      .Add(1043, F::VLN2ValueTLV(18517 + n))
      .Add(1199, F::Int2ValueTLV(1, 1))
      .Add(1200, F::VLN2ValueTLV(3086))
      .Add(1212, F::Int2ValueTLV(1, 1))
      .Add(1214, F::Int2ValueTLV(4, 1))
      .Text(1197, "kg")
      .Add(1162, quillon::MakeBytes({0x44, 0x4D, 0x04, 0x60, 0x74, 0x28, 0x00, 0x12}))
      .Add(1223, agent);
  return item;
}

TDocBuilder Receipt(int items) {
  const quillon::TDateTime stamp =
      quillon::EncodeDate(2021, 3, 14) + quillon::EncodeTime(15, 9, 26, 0);
  TDocBuilder body;
  body.Text(1048, "OOO Romashka")
      .Text(1018, "7700000000  ")
      .Add(1012, F::UnixTime2ValueTLV(stamp))
      .Add(1040, F::Int2ValueTLV(4321, 4))
      .Add(1041, quillon::RawBytes("9999078900001234"))
      .Add(1042, F::Int2ValueTLV(17, 4))
      .Add(1038, F::Int2ValueTLV(102, 4))
      .Text(1037, "0000000001012345    ")
      .Text(1021, "\x88\xA2\xA0\xAD\xAE\xA2 \x88.")
      .Text(1009, "Moscow, Lenina 1")
      .Add(1054, F::Int2ValueTLV(1, 1))
      .Add(1055, F::Int2ValueTLV(1, 1));
  for (int i = 0; i < items; ++i) body.Add(1059, Item(i));
  body.Add(1020, F::VLN2ValueTLV(18517LL * items))
      .Add(1031, F::VLN2ValueTLV(0))
      .Add(1081, F::VLN2ValueTLV(18517LL * items))
      .Add(1102, F::VLN2ValueTLV(3086LL * items))
      .Add(1077, quillon::MakeBytes({0x31, 0x04, 0x8A, 0x2B, 0x5C, 0x17}));
  TDocBuilder doc;
  doc.Add(3, body);
  return doc;
}

void BM_ParseReceipt(benchmark::State& state) {
  quillon::TFormatSettings settings;
  settings.ShortDateFormat = "%d.%m.%Y";
  quillon::SetFormatSettings(settings);
  const TDocBuilder doc = Receipt(static_cast<int>(state.range(0)));
  quillon::TTLVParser parser;
  parser.SetShowTagNumbers(true);
  parser.SetBaseIndent(4);
  for (auto _ : state) {
    std::string text = parser.ParseTLV(doc.Data());
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(state.iterations() * doc.Records());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(doc.Data().size()));
  state.counters["records"] = static_cast<double>(doc.Records());
}
BENCHMARK(BM_ParseReceipt)->Arg(1)->Arg(10)->Arg(100);

// The way the command decoders call it: one parser per decoded field.
void BM_ParseReceiptNewParser(benchmark::State& state) {
  const TDocBuilder doc = Receipt(10);
  for (auto _ : state) {
    quillon::TTLVParser parser;
    parser.SetShowTagNumbers(true);
    parser.SetBaseIndent(4);
    std::string text = parser.ParseTLV(doc.Data());
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(state.iterations() * doc.Records());
}
BENCHMARK(BM_ParseReceiptNewParser);

}  // namespace

BENCHMARK_MAIN();
