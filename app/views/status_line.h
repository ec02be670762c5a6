// The window's status line: the port's device, the state of the connection and, once the transfer
// code has one, the result of the last transfer.
#pragma once

#include <QLabel>
#include <QStatusBar>
#include <string>

#include "app/views/announced_label.h"

namespace tolvane {

inline constexpr const char* NoPortText = "No port chosen";
inline constexpr const char* DisconnectedText = "Disconnected";
inline constexpr const char* IdentifyingText = "Identifying";
inline constexpr const char* IdentifyingPollText = "Identifying (poll %1 of %2)";
inline constexpr const char* IdentifiedText = "Identified";
inline constexpr const char* ConnectedText = "Connected, not identified";
inline constexpr const char* ConnectionLostText = "Connection lost";
inline constexpr const char* ConnectingText = "Connecting to %1\u2026";

// What the window knows about its connection at one moment.
struct TConnectionFacts {
  bool Connected = false;
  bool Identifying = false;
  int Polls = 0;
  int PollLimit = 0;
  std::string Connecting;  // the port name of an opening under way
};

class TStatusLine : public QStatusBar {
  Q_OBJECT

 public:
  explicit TStatusLine(QWidget* Parent);

  // The port's device path; an empty one (no port, or a name outside /dev) is "No port chosen".
  void ShowPort(const std::string& Device);
  // Follows the connection: an identification that ends with the port still open is
  // "Identified"; a lost line stays "Connection lost" until the port opens again.
  void ShowConnection(const TConnectionFacts& Facts);
  void ShowLineLost();
  // The result of the last Read or Write, in the transfer code's words.
  void SetTransferResult(const std::string& Result);

  QString PortText() const { return PortLabel->text(); }
  QString StateText() const { return StateLabel->text(); }
  QString TransferText() const { return TransferLabel->text(); }

  QLabel* PortLabel;
  // Both are spoken by a screen reader when they change: the state when it becomes another one
  // (not at each poll of the identification), the result of every transfer.
  TAnnouncedLabel* StateLabel;
  TAnnouncedLabel* TransferLabel;

 private:
  enum class TState { Disconnected, Connecting, Identifying, Identified, Connected, Lost };
  void Show(TState State, const QString& Text);

  TState State_ = TState::Disconnected;
};

}  // namespace tolvane
