// The JSON documents of tolvane-cli --json: one document per command on standard output, for
// scripts. Texts are the bytes the command has (UTF-8), escaped as JSON requires.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logic/transfer/register_transfer.h"

namespace tolvane {

// Text as a JSON string, quotes included.
std::string JsonString(std::string_view Text);

// One difference that compare found: the register's row, what the controller holds (none: it
// did not answer) and the file's value.
struct TJsonDifference {
  std::size_t Row = 0;
  std::optional<std::string> Controller;
  std::string File;
};

// {"command":"read","port":...,"file":...,"registers":{"UaMAX":{"label":"Ua max, V",
// "value":"03200"},...}}
std::string ReadJson(const std::string& Port, const std::string& File,
                     const TRegisterTexts& Values);
// {"command":"compare","port":...,"file":...,"equal":false,"differences":[{"key":"UgMax",
// "label":"Ug max, V","controller":"00550","file":"00650"}]}; a silent register's controller
// value is null.
std::string CompareJson(const std::string& Port, const std::string& File,
                        const std::vector<TJsonDifference>& Differences);

// A port of the list with the stable names that open the same device.
struct TJsonPort {
  std::string Name;
  std::vector<std::string> StableNames;
};
// {"command":"ports","ports":[{"name":"ttyUSB0","stable_names":["serial/by-id/usb-..."]}]}
std::string PortsJson(const std::vector<TJsonPort>& Ports);

}  // namespace tolvane
