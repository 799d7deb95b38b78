#include "emulator/EmulatorNumberedLink.h"

#include <utility>

namespace quillon {

void TNumberedLink::Incomplete(TBytes& input) {
  OnBadFrame(std::exchange(input, TBytes()));
}

void TNumberedLink::OnFrame(TBytes payload, std::int32_t number) {
  if (payload.empty())
    OnSync(number);
  else if (FLastNumber == number)
    OnResend(number);
  else
    OnRequest(std::move(payload), number);
}

void TNumberedLink::OnBadFrame(TBytes raw) {
  TExchange exchange;
  exchange.Kind = ekBadFrame;
  exchange.Request = std::move(raw);
  FPeer.Report(exchange);
}

void TNumberedLink::OnSync(std::int32_t number) {
  FLastNumber.reset();  // a new session numbers its requests afresh
  if (!FPeer.React()) return;
  TExchange exchange;
  exchange.Kind = ekSync;
  exchange.Answered = true;
  FPeer.Report(exchange);
  if (Acknowledge()) FPeer.Send(AnswerFrame(TBytes(), number, false));
}

void TNumberedLink::OnResend(std::int32_t number) {
  if (!FPeer.React()) return;
  TExchange exchange = FHeld;
  exchange.Kind = ekResend;
  const bool garbage = FPeer.ResendFaults(exchange);
  FPeer.Report(exchange);
  if (Acknowledge()) FPeer.SendAnswer(AnswerFrame(exchange.Answer, number, garbage));
}

void TNumberedLink::OnRequest(TBytes request, std::int32_t number) {
  TRequestDecision d = FPeer.Execute(std::move(request), FrameLimit());
  if (FPeer.Closed()) return;  // stopped meanwhile
  FPeer.Report(d.Exchange);
  if (d.Outcome == roAnswered) {
    FLastNumber = number;
    FHeld = d.Exchange;
  }
  // A refused request is ignored as a bad frame is; a dropped one is acknowledged only.
  const bool acknowledged = d.Outcome != roRefused && Acknowledge();
  if (acknowledged && d.Outcome == roAnswered)
    FPeer.SendAnswer(AnswerFrame(d.Exchange.Answer, number, d.Garbage));
  if (d.Last) FPeer.Close();
}

}  // namespace quillon
