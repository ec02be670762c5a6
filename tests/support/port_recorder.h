// Test helpers that write every event of a port and every callback of a link into one log, so
// a test can compare the order in which they came.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "serialport/port/com_link.h"
#include "serialport/port/com_port.h"

namespace tolvane {

using TEventLog = std::vector<std::string>;

inline std::string OnOffText(bool OnOff) {
  return OnOff ? "true" : "false";
}

// Assigns all fifteen events of Port; each appends e.g. "AfterOpen" or "CTSChange false".
inline void RecordPortEvents(TCustomComPort& Port, TEventLog& Log) {
  Port.OnBeforeOpen = [&Log](TObject*) { Log.push_back("BeforeOpen"); };
  Port.OnAfterOpen = [&Log](TObject*) { Log.push_back("AfterOpen"); };
  Port.OnBeforeClose = [&Log](TObject*) { Log.push_back("BeforeClose"); };
  Port.OnAfterClose = [&Log](TObject*) { Log.push_back("AfterClose"); };
  Port.OnRxChar = [&Log](TObject*, std::int32_t Count) {
    Log.push_back("RxChar " + std::to_string(Count));
  };
  Port.OnRxBuf = [&Log](TObject*, const void* Buffer, std::int32_t Count) {
    Log.push_back("RxBuf " + std::string(static_cast<const char*>(Buffer), Count));
  };
  Port.OnTxEmpty = [&Log](TObject*) { Log.push_back("TxEmpty"); };
  Port.OnBreak = [&Log](TObject*) { Log.push_back("Break"); };
  Port.OnRing = [&Log](TObject*) { Log.push_back("Ring"); };
  Port.OnRxFlag = [&Log](TObject*) { Log.push_back("RxFlag"); };
  Port.OnRx80Full = [&Log](TObject*) { Log.push_back("Rx80Full"); };
  Port.OnCTSChange = [&Log](TObject*, bool On) { Log.push_back("CTSChange " + OnOffText(On)); };
  Port.OnDSRChange = [&Log](TObject*, bool On) { Log.push_back("DSRChange " + OnOffText(On)); };
  Port.OnRLSDChange = [&Log](TObject*, bool On) { Log.push_back("RLSDChange " + OnOffText(On)); };
  Port.OnError = [&Log](TObject*, TComErrors Errors) {
    Log.push_back("Error " + std::to_string(Errors.ToWord()));
  };
}

// Assigns all eleven callbacks of Link; each appends the link's Tag, e.g. "L1 TxBuf ID;".
inline void RecordLink(TComLink& Link, const std::string& Tag, TEventLog& Log) {
  const auto Switch = [&Log, Tag](const char* Name) {
    return [&Log, Tag, Name](TObject*, bool On) {
      Log.push_back(Tag + " " + Name + " " + OnOffText(On));
    };
  };
  const auto Notify = [&Log, Tag](const char* Name) {
    return [&Log, Tag, Name](TObject*) { Log.push_back(Tag + " " + Name); };
  };
  const auto Bytes = [&Log, Tag](const char* Name) {
    return [&Log, Tag, Name](TObject*, const void* Buffer, std::int32_t Count) {
      Log.push_back(Tag + " " + Name + " " + std::string(static_cast<const char*>(Buffer), Count));
    };
  };
  Link.OnConnChange = Switch("ConnChange");
  Link.OnRxBuf = Bytes("RxBuf");
  Link.OnTxBuf = Bytes("TxBuf");
  Link.OnTxEmpty = Notify("TxEmpty");
  Link.OnRxFlag = Notify("RxFlag");
  Link.OnCTSChange = Switch("CTSChange");
  Link.OnDSRChange = Switch("DSRChange");
  Link.OnRLSDChange = Switch("RLSDChange");
  Link.OnRing = Notify("Ring");
  Link.OnTxActivity = Switch("TxActivity");
  Link.OnRxActivity = Switch("RxActivity");
}

// Runs Action and returns the EComPort it raised; fails the test when it raised none.
template <typename Action>
EComPort CatchComPortError(Action&& Run) {
  try {
    Run();
  } catch (const EComPort& Error) {
    return Error;
  }
  ADD_FAILURE() << "no EComPort was raised";
  return EComPort(0);
}

}  // namespace tolvane
