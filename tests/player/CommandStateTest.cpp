#include <gtest/gtest.h>

#include <vector>

#include "core/untCommand.h"

namespace quillon {
namespace {

TCommand Played(const char* tx, const char* answer) {
  TCommandRec rec;
  rec.TxData = tx;
  rec.Code = TCommand::GetCode(tx);
  rec.LineNumber = 7;
  TCommand command(std::move(rec));
  command.Selected = true;
  command.Played = true;
  command.SetPlayedAnswerData(answer);
  return command;
}

TEST(CommandReplayState, MovesAndCopiesCarryIt) {
  TCommand source = Played("FF 01", "FF 01 02");
  TCommand moved(std::move(source));
  EXPECT_EQ(moved.TxData(), "FF 01");
  EXPECT_EQ(moved.Code(), 0xFF01);
  EXPECT_TRUE(moved.Played);
  EXPECT_TRUE(moved.Selected);
  EXPECT_EQ(moved.PlayedAnswerData(), "FF 01 02");
  EXPECT_FALSE(source.Played);
  EXPECT_FALSE(source.Selected);
  EXPECT_EQ(source.PlayedAnswerData(), "");

  TCommand target = Played("11", "11 00");
  target = std::move(moved);
  EXPECT_EQ(target.TxData(), "FF 01");
  EXPECT_EQ(target.PlayedAnswerData(), "FF 01 02");
  EXPECT_EQ(moved.PlayedAnswerData(), "");
  target = std::move(target);
  EXPECT_EQ(target.PlayedAnswerData(), "FF 01 02");

  TCommand copy(target);
  copy.SetPlayedAnswerData("FF 01 00");
  EXPECT_EQ(target.PlayedAnswerData(), "FF 01 02");
  EXPECT_TRUE(copy.Played);
  source = copy;
  EXPECT_EQ(source.PlayedAnswerData(), "FF 01 00");
  EXPECT_EQ(source.LineNumber(), 7);

  // Batches of commands are moved around in vectors.
  std::vector<TCommand> batch;
  for (int i = 0; i < 100; ++i) batch.push_back(Played("10", i % 2 ? "10 00" : "10 01"));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(batch[i].PlayedAnswerData(), i % 2 ? "10 00" : "10 01");
}

}  // namespace
}  // namespace quillon
