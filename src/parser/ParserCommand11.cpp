#include "parser/ParserCommand11.h"

namespace quillon {

void TParserCommand11::CreateFields() {
  AddField("Password", ftUInt32);
}

void TParserCommand11::CreateAnswerFields() {
  AddAnswerField("OperatorNumber", ftByte);
  AddAnswerField("FECRSoftVersion", ftSoftVersion);
  AddAnswerField("ECRBuild", ftUint16);
  AddAnswerField("FECRSoftDate", ftDate);
  AddAnswerField("LogicalNumber", ftByte);
  AddAnswerField("DocumentNumber", ftUint16);
  AddAnswerField("ECRFlags", ftECRFlags);
  AddAnswerField("ECRMode", ftECRMode);
  AddAnswerField("ECRAdvancedMode", ftECRAdvancedMode);
  AddAnswerField("PortNumber", ftPortNumber);
  AddAnswerField("FMSoftVersion (Old)", ftSoftVersion);
  AddAnswerField("FMBuild (Old)", ftUint16);
  AddAnswerField("FMSoftDate (Old)", ftDate);
  AddAnswerField("ECRDate", ftDate);
  AddAnswerField("ECRTime", ftTime);
  AddAnswerField("FMFlags (Old)", ftByte);
  AddAnswerField("ECRSerial", ftUInt32);
  AddAnswerField("SessionNumber", ftUint16);
  AddAnswerField("FreeRecordInFM (Old)", ftUint16);
  AddAnswerField("RegistrationNumber", ftByte);
  AddAnswerField("FreeRegistration", ftByte);
  AddAnswerField("INN", ftINN);
}

std::string TParserCommand11::GetShortValue() {
  return GetAnswerFieldValue("ECRMode") + " " + GetAnswerFieldValue("ECRAdvancedMode");
}

}  // namespace quillon
