// The text an assembler hands its handlers: a view of the bytes where they lie, valid for the
// duration of the call.
//
// A handler declares how it wants it. One that takes std::string_view reads the bytes in place;
// one that takes const std::string& gets the assembler's reused string, filled at its first use
// (no allocation once its capacity suffices); one that takes std::string by value gets one
// string, built once from that.
#pragma once

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace tolvane {

class TComText {
 public:
  // Scratch is the string a const std::string& handler is given; it must outlive the call.
  TComText(std::string_view Text, std::string& Scratch) : View_(Text), Scratch_(&Scratch) {}
  // A text that already is a string is handed out as that string.
  TComText(const std::string& Text) : View_(Text), String_(&Text) {}  // NOLINT: implicit
  TComText(const TComText&) = delete;
  TComText& operator=(const TComText&) = delete;

  std::string_view View() const { return View_; }
  operator std::string_view() const { return View_; }  // NOLINT: implicit by design
  operator const std::string&() const {                // NOLINT: implicit by design
    if (String_ == nullptr) {
      Fill(*Scratch_, View_);
      String_ = Scratch_;
    }
    return *String_;
  }

  std::size_t size() const { return View_.size(); }
  bool empty() const { return View_.empty(); }
  const char* data() const { return View_.data(); }

  friend bool operator==(const TComText& Text, std::string_view Other) {
    return Text.View_ == Other;
  }

 private:
  // A packet of the same length as the one before (the usual case) is copied over it with no
  // more than a memcpy; the general assign stays for a text that lies in the string itself.
  static void Fill(std::string& Into, std::string_view Text) {
    const char* const Begin = Into.data();
    if (std::less_equal<>()(Begin, Text.data()) &&
        std::less<>()(Text.data(), Begin + Into.capacity())) {
      Into.assign(Text);
      return;
    }
    Into.resize(Text.size());
    if (!Text.empty()) std::memcpy(Into.data(), Text.data(), Text.size());
  }

  std::string_view View_;
  std::string* Scratch_ = nullptr;
  mutable const std::string* String_ = nullptr;
};

}  // namespace tolvane
