#include "serialport/base/mo_catalog.h"

#include <cstdint>

namespace tolvane {
namespace {

constexpr std::uint32_t Magic = 0x950412DE;
constexpr std::uint32_t SwappedMagic = 0xDE120495;
constexpr std::size_t HeaderSize = 28;  // magic, revision, count, two table offsets, hash table
constexpr std::uint32_t HighestMajorRevision = 1;

class TReader {
 public:
  TReader(std::string_view Bytes, bool Swapped) : Bytes_(Bytes), Swapped_(Swapped) {}

  std::optional<std::uint32_t> Word(std::size_t At) const {
    if (At > Bytes_.size() || Bytes_.size() - At < 4) return std::nullopt;
    std::uint32_t Value = 0;
    for (std::size_t Index = 0; Index < 4; ++Index) {
      const std::size_t Byte = Swapped_ ? Index : 3 - Index;
      Value = (Value << 8) | static_cast<unsigned char>(Bytes_[At + Byte]);
    }
    return Value;
  }

  // The text of entry Index of the table at Table: a length and an offset.
  std::optional<std::string_view> Text(std::uint32_t Table, std::uint32_t Index) const {
    const std::size_t At = std::size_t{Table} + std::size_t{Index} * 8;
    const auto Length = Word(At);
    const auto Offset = Word(At + 4);
    if (!Length || !Offset || *Offset > Bytes_.size() || Bytes_.size() - *Offset < *Length) {
      return std::nullopt;
    }
    return Bytes_.substr(*Offset, *Length);
  }

 private:
  std::string_view Bytes_;
  bool Swapped_;
};

// The singular of a text with a plural (they are separated by a NUL byte).
std::string_view FirstForm(std::string_view Text) {
  return Text.substr(0, Text.find('\0'));
}

}  // namespace

std::optional<TMoCatalog> TMoCatalog::Parse(std::string_view Bytes) {
  if (Bytes.size() < HeaderSize) return std::nullopt;
  const std::optional<std::uint32_t> Native = TReader(Bytes, false).Word(0);
  if (Native != Magic && Native != SwappedMagic) return std::nullopt;
  const TReader Reader(Bytes, Native == SwappedMagic);
  const auto Revision = Reader.Word(4);
  const auto Count = Reader.Word(8);
  const auto Originals = Reader.Word(12);
  const auto Translations = Reader.Word(16);
  if (!Revision || (*Revision >> 16) > HighestMajorRevision || !Count || !Originals ||
      !Translations || *Count > Bytes.size() / 8) {
    return std::nullopt;
  }
  TMoCatalog Catalog;
  for (std::uint32_t Index = 0; Index < *Count; ++Index) {
    const auto Original = Reader.Text(*Originals, Index);
    const auto Translation = Reader.Text(*Translations, Index);
    if (!Original || !Translation) return std::nullopt;
    if (Original->empty()) continue;
    Catalog.Texts_.emplace(std::string(FirstForm(*Original)), std::string(FirstForm(*Translation)));
  }
  return Catalog;
}

const std::string* TMoCatalog::Find(const std::string& Original) const {
  const auto Found = Texts_.find(Original);
  return Found == Texts_.end() ? nullptr : &Found->second;
}

}  // namespace tolvane
