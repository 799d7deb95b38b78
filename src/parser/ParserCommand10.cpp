#include "parser/ParserCommand10.h"

namespace quillon {

void TParserCommand10::CreateFields() {
  AddField("Password", ftUInt32);
}

void TParserCommand10::CreateAnswerFields() {
  AddAnswerField("OperatorNumber", ftByte);
  AddAnswerField("ECRFlags", ftECRFlags);
  AddAnswerField("ECRMode", ftECRMode);
  AddAnswerField("ECRAdvancedMode", ftECRAdvancedMode);
  AddAnswerField("QuantityOfOperations (lo)", ftByte);
  AddAnswerField("BatteryVoltage", ftBatteryVoltage);
  AddAnswerField("PowerSourceVoltage", ftPowerSourceVoltage);
  AddAnswerField("FMResultCode (old)", ftByte);
  AddAnswerField("EKLZResultCode (old)", ftByte);
  AddAnswerField("UpdateKeysResultCode", ftByte);
  AddAnswerField("PrinterHeadTemperature", ftByte);
  AddAnswerField("PreviousECRMode", ftECRMode);
}

std::string TParserCommand10::GetShortValue() {
  return GetAnswerFieldValue("ECRMode") + " " + GetAnswerFieldValue("ECRAdvancedMode");
}

}  // namespace quillon
