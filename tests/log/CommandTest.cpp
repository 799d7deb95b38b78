#include <gtest/gtest.h>

#include "core/BinUtils.h"
#include "core/CommandCode.h"
#include "core/DriverCommands.h"
#include "core/untCommand.h"

namespace quillon {
namespace {

TCommand MakeCommand(std::string tx, std::string rx = "", TProtocol protocol = pProtocol1,
                     std::string attributes = "[31.12.2024 10:15:00.123] [00001234]") {
  TCommandRec rec;
  rec.TxData = std::move(tx);
  rec.Code = TCommand::GetCode(rec.TxData);
  rec.Protocol = protocol;
  rec.Attributes = std::move(attributes);
  TCommand command(rec);
  command.SetAnswerData(rx);
  command.SetResCode(TCommand::GetResCode(rx));
  return command;
}

TEST(Command, CodeAndResultFromHexText) {
  EXPECT_EQ(TCommand::GetCode("11"), 0x11);
  EXPECT_EQ(TCommand::GetCode("FF 01"), 0xFF01);
  EXPECT_EQ(TCommand::GetCode("FF"), 0xFF00);
  EXPECT_EQ(TCommand::GetCode(""), 0);
  EXPECT_EQ(TCommand::GetCode("fe 03 01"), 0xFE);  // FE is a one-byte code

  EXPECT_EQ(TCommand::GetResCode("11"), 0);
  EXPECT_EQ(TCommand::GetResCode("11 00"), 0);
  EXPECT_EQ(TCommand::GetResCode("11 50"), 0x50);
  EXPECT_EQ(TCommand::GetResCode("FF 01 02"), 2);
  EXPECT_EQ(TCommand::GetResCode("FF 01"), 0);
  EXPECT_EQ(TCommand::GetResCode("FF 01 7E 00 00"), 0x7E);
}

TEST(Command, CodeBytesAtTheHeadOfRequestAndAnswer) {
  struct TCase {
    const char* Bytes;
    std::size_t Length;
    std::int32_t Code;
    const char* CodeBytes;  // as an answer repeats them
  };
  for (const TCase& c :
       {TCase{"", 1, 0, "00"}, TCase{"11 1E", 1, 0x11, "11"}, TCase{"FE 03", 1, 0xFE, "FE"},
        TCase{"FF", 2, 0xFF00, "FF 00"}, TCase{"FF 46 1E", 2, 0xFF46, "FF 46"}}) {
    const TBytes bytes = HexToBytes(c.Bytes);
    EXPECT_EQ(CommandCodeLength(bytes), c.Length) << c.Bytes;
    EXPECT_EQ(CommandCodeOf(bytes), c.Code) << c.Bytes;
    EXPECT_EQ(BytesToHex(CommandCodeBytes(bytes)), c.CodeBytes) << c.Bytes;
    EXPECT_EQ(BytesToHex(CodeToBytes(c.Code)), c.CodeBytes) << c.Bytes;
  }
}

TEST(Command, OnlyPrintingAndBufferFullAreBusy) {
  for (int result = 0; result < 256; ++result)
    EXPECT_EQ(IsBusyResult(result), result == 0x50 || result == 0x4B) << result;
}

TEST(Command, ErrorMeansFailedOrUnanswered) {
  EXPECT_TRUE(MakeCommand("11 1E 00 00 00").HasError());
  EXPECT_FALSE(MakeCommand("11 1E 00 00 00", "11 00 01").HasError());
  EXPECT_TRUE(MakeCommand("11 1E 00 00 00", "11 37").HasError());
  EXPECT_FALSE(MakeCommand("", "", pProtocol2).HasError());  // a sync frame expects nothing
}

TEST(Command, TimeStampAndThreadAreCutFromAttributes) {
  TCommand c = MakeCommand("11");
  EXPECT_EQ(c.TimeStamp(), "31.12.2024 10:15:00.123");
  EXPECT_EQ(c.ThreadID(), "00001234");

  TCommand shortAttrs = MakeCommand("11", "", pProtocol1, "[31.12.2024");
  EXPECT_EQ(shortAttrs.TimeStamp(), "31.12.2024");
  EXPECT_EQ(shortAttrs.ThreadID(), "");

  // Without "] [" the thread is looked for from the third character on.
  TCommand noSeparator = MakeCommand("11", "", pProtocol1, "[ab]cd]");
  EXPECT_EQ(noSeparator.ThreadID(), "b");
  TCommand cyrillic = MakeCommand("11", "", pProtocol1, "[Журнал за 31.12.2024 10:15] [поток]");
  EXPECT_EQ(cyrillic.TimeStamp(), "Журнал за 31.12.2024 10");
  EXPECT_EQ(cyrillic.ThreadID(), "поток");
}

TEST(CommandNames, TableAndFallbacks) {
  EXPECT_EQ(CommandNameCount(), 228u);
  EXPECT_EQ(GetCommandName(0x11), "Запрос состояния");
  EXPECT_EQ(GetCommandName(0xFF01), "Запрос статуса ФН");
  EXPECT_EQ(GetCommandName(0xFEF4), "Запрос необнуляемых сумм");
  EXPECT_EQ(GetCommandName(0xFEF5), GetCommandName(0x60));
  EXPECT_EQ(GetCommandName(0xFE), "Сервисная команда");
  EXPECT_EQ(GetCommandName(0xFF60), "Запрос параметра фискализации ");
  EXPECT_EQ(GetCommandName(0xFF39), "Получить статус информационного  обмена");
  EXPECT_EQ(GetCommandName(0xFF78), "Закрытие чека расширенное вариант V4");
  for (std::uint16_t code : {0x00, 0xFF, 0xFF00, 0xFFFF, 0xFE00, 0x1234, 0x44})
    EXPECT_EQ(GetCommandName(code), "Неизвестная команда") << code;

  EXPECT_EQ(GetProtocolName(pProtocol1), "Protocol v1");
  EXPECT_EQ(GetProtocolName(pProtocolNg1Plain), "Protocol v1 (plain) (NG)");
  EXPECT_EQ(GetProtocolName(pProtocolNg2), "");
  EXPECT_EQ(GetProtocolName(pNone), "");
  EXPECT_EQ(GetProtocolName(static_cast<TProtocol>(42)), "");
}

TEST(CommandNames, DisplayNameAndSearch) {
  EXPECT_EQ(MakeCommand("11 1E 00 00 00").CommandName(), "11, Запрос состояния");
  EXPECT_EQ(MakeCommand("FF 01 1E").CommandName(), "FF01, Запрос статуса ФН");
  EXPECT_EQ(MakeCommand("0D").CommandName(), "0D, Фискализация с длинным РНМ");
  EXPECT_EQ(MakeCommand("", "", pProtocol2).CommandName(), "Sync");
  EXPECT_EQ(MakeCommand("", "", pProtocol1).CommandName(), "00, Неизвестная команда");

  TCommand c = MakeCommand("11 1E 00 00 00");
  EXPECT_TRUE(c.HasData("ЗАПРОС"));
  EXPECT_TRUE(c.HasData("запрос СОСТ"));
  EXPECT_TRUE(c.HasData("10:15:00"));
  EXPECT_TRUE(c.HasData("00001234"));
  EXPECT_FALSE(c.HasData("Печать"));
  EXPECT_TRUE(MakeCommand("FF 01").HasData("фн"));
  EXPECT_TRUE(MakeCommand("FF 01").HasData("ff01"));
}

TEST(Command, CodeSets) {
  EXPECT_TRUE(MakeCommand("FF 45").IsPrintCommand());
  EXPECT_TRUE(MakeCommand("FF 45").IsRecRepCommand());
  EXPECT_FALSE(MakeCommand("FF 46").IsPrintCommand());
  EXPECT_TRUE(MakeCommand("FF 46").IsRecRepCommand());
  EXPECT_TRUE(MakeCommand("E0").IsRecRepCommand());
  EXPECT_FALSE(MakeCommand("8E").IsRecRepCommand());
  EXPECT_TRUE(MakeCommand("10").IsStatusCommand());
  EXPECT_TRUE(MakeCommand("11").IsStatusCommand());
  EXPECT_FALSE(MakeCommand("12").IsStatusCommand());
}

TEST(CommandList, SearchByAttributes) {
  TCommandList list;
  for (const char* attrs : {"[a] [1]", "[b] [2]", "[a] [3]"}) {
    TCommandRec rec;
    rec.Attributes = attrs;
    list.Add(rec);
  }
  EXPECT_EQ(list.ItemByAttributes("[a]"), &list[0]);
  EXPECT_EQ(list.ItemByAttributes("[A]"), nullptr);  // case-sensitive
  TCommandRefs found = list.ItemsByAttributes("[a]");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0], &list[0]);
  EXPECT_EQ(found[1], &list[2]);
  EXPECT_TRUE(list.ItemsByAttributes("zzz").empty());
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
}  // namespace quillon
