#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "core/DateUtils.h"
#include "core/Errors.h"
#include "core/FormatSettings.h"
#include "tlv/FormatTLV.h"
#include "tlv/TLVTags.h"

namespace quillon {
namespace {

class TLVTagValues : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = FormatSettings();
    TFormatSettings settings;
    settings.DecimalSeparator = ',';  // TLV numbers must ignore it
    settings.ShortDateFormat = "%d.%m.%Y";
    settings.LongTimeFormat = "%H:%M:%S";
    SetFormatSettings(settings);
  }
  void TearDown() override { SetFormatSettings(saved_); }

  static std::string Value(int tag, const TBytes& data) {
    const TTLVTag* entry = TTLVTags::Shared().FindTag(tag);
    if (entry == nullptr) throw std::logic_error("tag not registered");
    return entry->GetStrValue(data);
  }

  TFormatSettings saved_;
};

TEST(TLVTagTable, RegistersEveryTagOnceInOrder) {
  TTLVTags tags;
  ASSERT_EQ(tags.Count(), 256);
  EXPECT_EQ(tags.Items(0)->Tag(), 1001);
  EXPECT_EQ(tags.Items(221)->Tag(), 1000);
  EXPECT_EQ(tags.Items(255)->Tag(), 84);
  std::set<int> numbers;
  int fixed = 0;
  for (int i = 0; i < tags.Count(); ++i) {
    numbers.insert(tags.Items(i)->Tag());
    EXPECT_EQ(tags.Items(i)->Owner(), &tags);
    EXPECT_EQ(tags.FindTag(tags.Items(i)->Tag()), tags.Items(i));
    if (tags.Items(i)->FixedLength()) ++fixed;
  }
  EXPECT_EQ(numbers.size(), 256u);
  EXPECT_EQ(fixed, 20);
  EXPECT_EQ(TTLVTags::Shared().Count(), 256);
}

TEST(TLVTagTable, EntriesKeepTheirTextsExactly) {
  const TTLVTags& tags = TTLVTags::Shared();
  EXPECT_EQ(tags.FindTag(1054)->ShortDescription(), "ПРИЗН. РАСЧЕТА");
  EXPECT_EQ(tags.FindTag(999), nullptr);
  EXPECT_EQ(tags.FindTag(1129)->ShortDescription(), "СЧЕТЧИКИ ОПЕР. \"ПРИХОД\"");
  EXPECT_EQ(tags.FindTag(1280)->ShortDescription(), "дополнительный реквизит ОТР\t");
  EXPECT_EQ(tags.FindTag(1022)->ShortDescription(), "КОД ОТВЕРА ОФД");
  EXPECT_EQ(tags.FindTag(1199)->Description(), "Ставка НДС ");
  EXPECT_EQ(tags.FindTag(1232)->Description(), "Счетчики по признаку \"возврат прихода\"");
  EXPECT_EQ(tags.FindTag(1000)->ShortDescription(), "ДОКУМЕНТ");
  EXPECT_EQ(tags.FindTag(1000)->TagType(), tvSTLV);
  EXPECT_EQ(tags.FindTag(3)->ShortDescription(), tags.FindTag(103)->ShortDescription());
  EXPECT_EQ(tags.FindTag(16104)->Description(), "");
  // Description raises the first letter only; the caption stays as registered.
  EXPECT_EQ(tags.FindTag(1021)->Description(), "Кассир");
  EXPECT_EQ(tags.FindTag(1021)->ShortDescription(), "КАССИР");
  EXPECT_EQ(tags.FindTag(1196)->Description(), "QR-код");
  const TTLVTag* inn = tags.FindTag(1018);
  EXPECT_EQ(inn->TagType(), tvString);
  EXPECT_EQ(inn->Length(), 12);
  EXPECT_TRUE(inn->FixedLength());
}

TEST_F(TLVTagValues, CalculationSignWords) {
  EXPECT_EQ(Value(1054, MakeBytes({1})), "Приход");
  EXPECT_EQ(Value(1054, MakeBytes({2})), "Возврат прихода");
  EXPECT_EQ(Value(1054, MakeBytes({3})), "Расход");
  EXPECT_EQ(Value(1054, MakeBytes({4})), "Возврат расхода");
  EXPECT_EQ(Value(1054, MakeBytes({7})), "Неизв. тип: 7");
  EXPECT_EQ(Value(1054, MakeBytes({0xFF, 0xFF, 0xFF, 0xFF})), "Неизв. тип: -1");
}

TEST_F(TLVTagValues, TaxSystemWords) {
  for (int tag : {1055, 1062}) {
    EXPECT_EQ(Value(tag, MakeBytes({0x00})), "Нет");
    EXPECT_EQ(Value(tag, MakeBytes({0x01})), "ОБЩ.");
    EXPECT_EQ(Value(tag, MakeBytes({0x02})), "+УД");
    EXPECT_EQ(Value(tag, MakeBytes({0x03})), "ОБЩ.+УД");
    EXPECT_EQ(Value(tag, MakeBytes({0x3F})), "ОБЩ.+УД+УДМР+ЕНВД+ЕСН+ПСН");
    EXPECT_EQ(Value(tag, MakeBytes({0x40})), "");
    EXPECT_EQ(Value(tag, MakeBytes({0x60})), "+ПСН");
  }
}

TEST_F(TLVTagValues, PlainNumbers) {
  EXPECT_EQ(Value(1001, TBytes()), "0");
  EXPECT_EQ(Value(1001, MakeBytes({0x05})), "5");
  EXPECT_EQ(Value(1001, TBytes(8, 0xFF)), "-1");  // tvByte: signed 64-bit
  EXPECT_EQ(Value(1038, MakeBytes({0x01, 0x00, 0x00, 0x00})), "1");
  EXPECT_EQ(Value(1038, MakeBytes({0xFF, 0xFF, 0xFF, 0xFF})), "4294967295");
  EXPECT_EQ(Value(1038, MakeBytes({0x02, 0, 0, 0, 0x01})), "2");  // low 32 bits
  EXPECT_EQ(Value(1213, MakeBytes({0x10, 0x27})), "10000");
}

TEST_F(TLVTagValues, AmountsUseAFullStop) {
  EXPECT_EQ(Value(1020, MakeBytes({0x39, 0x30, 0, 0, 0, 0})), "123.45");
  EXPECT_EQ(Value(1020, MakeBytes({0x05})), "0.05");
  EXPECT_EQ(Value(1020, TBytes()), "0.00");
  EXPECT_EQ(Value(1023, MakeBytes({0x03, 0xE8, 0x03})), "1.000");
  EXPECT_THROW(Value(1023, MakeBytes({0x09, 0x01})), EQuillonError);
  EXPECT_THROW(Value(1023, MakeBytes({0x03})), EQuillonError);
}

TEST_F(TLVTagValues, DatesUseTheRegionalFormats) {
  const TDateTime stamp = EncodeDate(2021, 3, 14) + EncodeTime(15, 9, 26, 0);
  EXPECT_EQ(Value(1012, TFormatTLV::UnixTime2ValueTLV(stamp)), "14.03.2021 15:09:26");
  EXPECT_EQ(Value(1012, TFormatTLV::UnixTime2ValueTLV(EncodeDate(2021, 3, 14))), "14.03.2021");
  EXPECT_EQ(Value(1098, MakeBytes({0, 0, 0})), "30.12.1899");
}

TEST_F(TLVTagValues, StringsLoseTrailingBlanksOnly) {
  EXPECT_EQ(Value(1030, RawBytes(std::string("ABC  \0", 6))), "ABC");
  EXPECT_EQ(Value(1030, RawBytes("  A B\t\r\n")), "  A B");
  EXPECT_EQ(Value(1021, MakeBytes({0x8F, 0xE0, 0xA8, 0x20})), "При");
  EXPECT_EQ(Value(1021, TBytes()), "");
}

TEST_F(TLVTagValues, BytesAsHexAndFiscalSignAsNumber) {
  const TBytes six = MakeBytes({0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
  EXPECT_EQ(Value(1077, six), "50595078");
  EXPECT_EQ(Value(1078, six), "01 02 03 04 05 06");
  EXPECT_EQ(Value(1077, MakeBytes({0x01, 0x02, 0xAB})), "171");
  EXPECT_EQ(Value(1077, MakeBytes({0x01})), "0");
  EXPECT_EQ(Value(1162, MakeBytes({0xAB, 0x0C})), "AB 0C");
  EXPECT_EQ(Value(1162, TBytes()), "");
}

TEST_F(TLVTagValues, KindsWithoutText) {
  EXPECT_EQ(Value(1205, MakeBytes({0xFF, 0x01, 0x00, 0x00})), "");
  EXPECT_EQ(Value(1206, MakeBytes({0x01})), "");
  EXPECT_EQ(Value(1059, MakeBytes({0x06, 0x04, 0x00, 0x00})), "");
  TTLVTags tags{TTLVTags::TEmpty{}};
  EXPECT_EQ(tags.AddTag(5000, "x", "X", 42, 1, false)->GetStrValue(MakeBytes({1})), "");
}

TEST(TLVTagOwnership, AddDestroyAndClear) {
  TTLVTags tags;
  TTLVTag* added = tags.Add();
  EXPECT_EQ(tags.Items(256), added);
  EXPECT_EQ(added->Owner(), &tags);
  EXPECT_EQ(tags.FindTag(0), added);
  EXPECT_THROW(tags.Items(257), std::out_of_range);
  EXPECT_THROW(tags.Items(-1), std::out_of_range);
  delete added;
  delete tags.FindTag(1054);
  EXPECT_EQ(tags.Count(), 255);
  EXPECT_EQ(tags.FindTag(1054), nullptr);
  EXPECT_NE(tags.FindTag(1055), nullptr);
  tags.Clear();
  EXPECT_EQ(tags.Count(), 0);
  EXPECT_EQ(tags.FindTag(1001), nullptr);
  EXPECT_THROW(tags.Items(0), std::out_of_range);
}

TEST(TLVTagOwnership, SetOwnerMovesBetweenDictionaries) {
  TTLVTags first;
  TTLVTags second;
  TTLVTag* moved = first.FindTag(1054);
  moved->SetOwner(&second);
  EXPECT_EQ(first.Count(), 255);
  EXPECT_EQ(second.Count(), 257);
  EXPECT_EQ(first.FindTag(1054), nullptr);
  EXPECT_EQ(second.Items(256), moved);
  EXPECT_EQ(moved->Owner(), &second);
  // The second dictionary's own 1054 comes first in its list, so it is found first...
  TTLVTag* own = second.FindTag(1054);
  EXPECT_NE(own, moved);
  // ...until it is gone.
  delete own;
  EXPECT_EQ(second.FindTag(1054), moved);

  moved->SetOwner(&second);  // already the owner: stays where it is
  EXPECT_EQ(second.Items(second.Count() - 1), moved);

  moved->SetOwner(nullptr);
  EXPECT_EQ(second.Count(), 255);
  EXPECT_EQ(second.FindTag(1054), nullptr);
  EXPECT_EQ(moved->Owner(), nullptr);
  delete moved;
}

TEST(TLVTagOwnership, FirstRegisteredNumberWins) {
  TTLVTags tags{TTLVTags::TEmpty{}};
  TTLVTag* a = tags.AddTag(7000, "a", "A", tvString, 1, false);
  tags.AddTag(7000, "b", "B", tvString, 1, false);
  EXPECT_EQ(tags.FindTag(7000), a);
  delete a;
  EXPECT_EQ(tags.FindTag(7000)->ShortDescription(), "B");
}

}  // namespace
}  // namespace quillon
