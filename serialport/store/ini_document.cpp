#include "serialport/store/ini_document.h"

#include <cstddef>
#include <utility>

namespace tolvane {
namespace {

constexpr char SectionOpen = '[';
constexpr char SectionClose = ']';
constexpr char KeySeparator = '=';
constexpr char Quote = '"';
constexpr std::string_view CommentStarts = ";#";
constexpr std::string_view LineBreaks = "\r\n";
constexpr std::string_view Blanks = " \t";
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view Text) {
  const std::size_t First = Text.find_first_not_of(Blanks);
  if (First == std::string_view::npos) return {};
  const std::size_t Last = Text.find_last_not_of(Blanks);
  return Text.substr(First, Last - First + 1);
}

bool SameName(std::string_view Left, std::string_view Right) {
  Left = Trim(Left);
  Right = Trim(Right);
  if (Left.size() != Right.size()) return false;
  for (std::size_t I = 0; I < Left.size(); ++I) {
    char A = Left[I];
    char B = Right[I];
    if (A >= 'a' && A <= 'z') A = static_cast<char>(A - 'a' + 'A');
    if (B >= 'a' && B <= 'z') B = static_cast<char>(B - 'a' + 'A');
    if (A != B) return false;
  }
  return true;
}

bool IsBlank(char Letter) {
  return Blanks.find(Letter) != std::string_view::npos;
}

bool NeedsQuotes(std::string_view Value) {
  if (Value.empty()) return false;
  if (IsBlank(Value.front()) || IsBlank(Value.back())) return true;
  return Value.size() >= 2 && Value.front() == Quote && Value.back() == Quote;
}

std::string EncodeValue(std::string_view Value) {
  if (!NeedsQuotes(Value)) return std::string(Value);
  return Quote + std::string(Value) + Quote;
}

std::string DecodeValue(std::string_view Stored) {
  Stored = Trim(Stored);
  if (Stored.size() >= 2 && Stored.front() == Quote && Stored.back() == Quote) {
    Stored = Stored.substr(1, Stored.size() - 2);
  }
  return std::string(Stored);
}

enum class TLineKind { Other, Section, Key };

// One line of the text: where its content lies and what it holds.
struct TLine {
  std::size_t Begin = 0;
  std::size_t ContentEnd = 0;  // before a trailing CR
  std::size_t Next = 0;        // start of the following line
  bool Terminated = false;
  TLineKind Kind = TLineKind::Other;
  std::string_view Name;   // section or key name, untrimmed
  std::string_view Value;  // stored value text of a key line
};

TLine ClassifyLine(std::string_view Text, std::size_t Begin) {
  TLine Line;
  Line.Begin = Begin;
  const std::size_t Break = Text.find('\n', Begin);
  Line.Terminated = Break != std::string_view::npos;
  const std::size_t End = Line.Terminated ? Break : Text.size();
  Line.Next = Line.Terminated ? Break + 1 : Text.size();
  Line.ContentEnd = (End > Begin && Text[End - 1] == '\r') ? End - 1 : End;

  const std::string_view Content = Trim(Text.substr(Begin, Line.ContentEnd - Begin));
  if (Content.empty() || CommentStarts.find(Content.front()) != std::string_view::npos) {
    return Line;
  }
  if (Content.front() == SectionOpen) {
    const std::size_t Close = Content.find(SectionClose);
    if (Close != std::string_view::npos) {
      Line.Kind = TLineKind::Section;
      Line.Name = Content.substr(1, Close - 1);
    }
    return Line;
  }
  const std::size_t Separator = Content.find(KeySeparator);
  if (Separator != std::string_view::npos) {
    Line.Kind = TLineKind::Key;
    Line.Name = Content.substr(0, Separator);
    Line.Value = Content.substr(Separator + 1);
  }
  return Line;
}

// Calls Visit(line, inTargetSection) for each line until Visit returns false.
template <typename Visitor>
void ForEachLine(std::string_view Text, std::string_view Section, Visitor&& Visit) {
  bool InSection = false;
  for (std::size_t At = 0; At < Text.size();) {
    const TLine Line = ClassifyLine(Text, At);
    if (Line.Kind == TLineKind::Section) InSection = SameName(Line.Name, Section);
    if (!Visit(Line, InSection)) return;
    At = Line.Next;
  }
}

}  // namespace

TIniDocument::TIniDocument(std::string Text) : Text_(std::move(Text)) {
  ByteOrderMark_ = std::string_view(Text_).starts_with(ByteOrderMark);
  if (ByteOrderMark_) Text_.erase(0, ByteOrderMark.size());
}

std::string TIniDocument::Text() const {
  return ByteOrderMark_ ? std::string(ByteOrderMark) + Text_ : Text_;
}

bool TIniDocument::IsStorableSection(std::string_view Section) {
  return Section.find_first_of(LineBreaks) == std::string_view::npos &&
         Section.find(SectionClose) == std::string_view::npos;
}

bool TIniDocument::IsStorableKey(std::string_view Key) {
  const std::string_view Name = Trim(Key);
  return !Name.empty() && Name.find_first_of(LineBreaks) == std::string_view::npos &&
         Name.find(KeySeparator) == std::string_view::npos && Name.front() != SectionOpen &&
         CommentStarts.find(Name.front()) == std::string_view::npos;
}

bool TIniDocument::IsStorableValue(std::string_view Value) {
  return Value.find_first_of(LineBreaks) == std::string_view::npos;
}

std::optional<std::string> TIniDocument::Value(std::string_view Section,
                                               std::string_view Key) const {
  std::optional<std::string> Found;
  ForEachLine(Text_, Section, [&](const TLine& Line, bool InSection) {
    if (InSection && Line.Kind == TLineKind::Key && SameName(Line.Name, Key)) {
      Found = DecodeValue(Line.Value);
      return false;
    }
    return true;
  });
  return Found;
}

bool TIniDocument::HasSection(std::string_view Section) const {
  bool Found = false;
  ForEachLine(Text_, Section, [&](const TLine& Line, bool InSection) {
    Found = Line.Kind == TLineKind::Section && InSection;
    return !Found;
  });
  return Found;
}

void TIniDocument::SetValue(std::string_view Section, std::string_view Key,
                            std::string_view Value) {
  const std::string KeyLine = std::string(Trim(Key)) + KeySeparator + EncodeValue(Value);

  // The position after the last key line (or the header) of the first section of that name:
  // a new key goes there, ahead of comments and blank lines that lead into the next section.
  std::optional<TLine> Existing;
  std::optional<TLine> InsertAfter;
  bool InFirstSection = false;
  bool SeenFirstSection = false;
  ForEachLine(Text_, Section, [&](const TLine& Line, bool InSection) {
    if (Line.Kind == TLineKind::Section) {
      InFirstSection = InSection && !SeenFirstSection;
      if (InFirstSection) {
        SeenFirstSection = true;
        InsertAfter = Line;
      }
    }
    if (InSection && Line.Kind == TLineKind::Key && SameName(Line.Name, Key)) {
      Existing = Line;
      return false;
    }
    if (InFirstSection && Line.Kind == TLineKind::Key) InsertAfter = Line;
    return true;
  });

  if (Existing) {
    Text_.replace(Existing->Begin, Existing->ContentEnd - Existing->Begin, KeyLine);
  } else if (InsertAfter) {
    if (!InsertAfter->Terminated) Text_ += LineEnd();
    InsertLineAt(InsertAfter->Terminated ? InsertAfter->Next : Text_.size(), KeyLine);
  } else {
    AddSection(Section);
    AppendLine(KeyLine);
  }
}

void TIniDocument::AddSection(std::string_view Section) {
  if (HasSection(Section)) return;
  // A blank line sets a new section apart from what comes before it.
  if (!Text_.empty()) {
    if (Text_.back() != '\n') Text_ += LineEnd();
    Text_ += LineEnd();
  }
  AppendLine(SectionOpen + std::string(Trim(Section)) + SectionClose);
}

// New lines follow the file's own convention: CR LF when its first line ends that way.
std::string TIniDocument::LineEnd() const {
  const std::size_t Break = Text_.find('\n');
  return (Break != std::string::npos && Break > 0 && Text_[Break - 1] == '\r') ? "\r\n" : "\n";
}

void TIniDocument::AppendLine(std::string_view Line) {
  if (!Text_.empty() && Text_.back() != '\n') Text_ += LineEnd();
  Text_ += Line;
  Text_ += LineEnd();
}

void TIniDocument::InsertLineAt(std::size_t Position, std::string_view Line) {
  Text_.insert(Position, std::string(Line) + LineEnd());
}

}  // namespace tolvane
