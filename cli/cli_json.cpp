#include "cli/cli_json.h"

#include <cstdio>

#include "logic/protocol/register_table.h"

namespace tolvane {
namespace {

std::string Field(std::string_view Name, const std::string& JsonValue) {
  return JsonString(Name) + ":" + JsonValue;
}

std::string Head(std::string_view Command, const std::string& Port, const std::string& File) {
  return "{" + Field("command", JsonString(Command)) + "," + Field("port", JsonString(Port)) + "," +
         Field("file", JsonString(File));
}

}  // namespace

std::string JsonString(std::string_view Text) {
  std::string Out = "\"";
  for (const char Character : Text) {
    const auto Byte = static_cast<unsigned char>(Character);
    switch (Character) {
      case '"':
        Out += "\\\"";
        break;
      case '\\':
        Out += "\\\\";
        break;
      case '\n':
        Out += "\\n";
        break;
      case '\r':
        Out += "\\r";
        break;
      case '\t':
        Out += "\\t";
        break;
      default:
        if (Byte < 0x20) {
          char Escape[8];
          std::snprintf(Escape, sizeof Escape, "\\u%04x", Byte);
          Out += Escape;
        } else {
          Out += Character;
        }
    }
  }
  return Out + "\"";
}

std::string ReadJson(const std::string& Port, const std::string& File,
                     const TRegisterTexts& Values) {
  std::string Registers;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    if (Row > 0) Registers += ",";
    Registers += Field(RegisterTable[Row].FileKey,
                       "{" + Field("label", JsonString(RegisterTable[Row].Label)) + "," +
                           Field("value", JsonString(Values[Row])) + "}");
  }
  return Head("read", Port, File) + "," + Field("registers", "{" + Registers + "}") + "}\n";
}

std::string CompareJson(const std::string& Port, const std::string& File,
                        const std::vector<TJsonDifference>& Differences) {
  std::string List;
  for (const TJsonDifference& Difference : Differences) {
    if (!List.empty()) List += ",";
    const TRegisterRow& Register = RegisterTable[Difference.Row];
    List +=
        "{" + Field("key", JsonString(Register.FileKey)) + "," +
        Field("label", JsonString(Register.Label)) + "," +
        Field("controller", Difference.Controller ? JsonString(*Difference.Controller) : "null") +
        "," + Field("file", JsonString(Difference.File)) + "}";
  }
  return Head("compare", Port, File) + "," +
         Field("equal", Differences.empty() ? "true" : "false") + "," +
         Field("differences", "[" + List + "]") + "}\n";
}

std::string PortsJson(const std::vector<TJsonPort>& Ports) {
  std::string List;
  for (const TJsonPort& Port : Ports) {
    if (!List.empty()) List += ",";
    std::string Stable;
    for (const std::string& Name : Port.StableNames) {
      if (!Stable.empty()) Stable += ",";
      Stable += JsonString(Name);
    }
    List += "{" + Field("name", JsonString(Port.Name)) + "," +
            Field("stable_names", "[" + Stable + "]") + "}";
  }
  return "{" + Field("command", JsonString("ports")) + "," + Field("ports", "[" + List + "]") +
         "}\n";
}

}  // namespace tolvane
