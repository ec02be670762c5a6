#include "app/views/status_line.h"

namespace tolvane {
namespace {

QFrame* Separator() {
  auto* Line = new QFrame;
  Line->setFrameShape(QFrame::VLine);
  Line->setFrameShadow(QFrame::Sunken);
  return Line;
}

}  // namespace

TStatusLine::TStatusLine(QWidget* Parent) : QStatusBar(Parent) {
  setObjectName("StatusLine");
  // The window manager's border resizes the window; a grip would only cover the last text.
  setSizeGripEnabled(false);
  PortLabel = new QLabel(this);
  PortLabel->setObjectName("StatusPort");
  StateLabel = new TAnnouncedLabel(this);
  StateLabel->setText(DisconnectedText);
  StateLabel->setObjectName("StatusState");
  TransferLabel = new TAnnouncedLabel(this);
  TransferLabel->setObjectName("StatusTransfer");
  TransferLabel->setWordWrap(true);
  TransferLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // Two lines as the label lays them out, which can be taller than twice the line spacing.
  TransferLabel->setMinimumHeight(
      TransferLabel->fontMetrics()
          .boundingRect(QRect(0, 0, 1000, 1000), Qt::TextWordWrap, QStringLiteral("X\nX"))
          .height());
  // The port and the state keep their room; the transfer result takes what is left and wraps
  // onto a second line, which the line keeps room for, so a stopped transfer's result (some 85
  // characters) is whole at the window's starting size. Its whole text is also the tool tip.
  for (QLabel* Label :
       {PortLabel, static_cast<QLabel*>(StateLabel), static_cast<QLabel*>(TransferLabel)})
    Label->setContentsMargins(4, 0, 4, 0);
  addWidget(PortLabel);
  addWidget(Separator());
  addWidget(StateLabel);
  addWidget(Separator());
  addWidget(TransferLabel, 1);
  // A long result gives way before the port and the state do.
  TransferLabel->setMinimumWidth(1);
}

void TStatusLine::ShowPort(const std::string& Device) {
  PortLabel->setText(Device.empty()
                         ? QString(NoPortText)
                         : QString::fromLocal8Bit(Device.data(), qsizetype(Device.size())));
}

void TStatusLine::ShowConnection(const TConnectionFacts& Facts) {
  if (!Facts.Connected && !Facts.Connecting.empty()) {
    Show(TState::Connecting,
         QString::fromUtf8(ConnectingText).arg(QString::fromStdString(Facts.Connecting)));
    return;
  }
  if (!Facts.Connected) {
    if (State_ != TState::Lost) Show(TState::Disconnected, DisconnectedText);
    return;
  }
  if (Facts.Identifying) {
    Show(TState::Identifying,
         Facts.Polls == 0 ? QString(IdentifyingText)
                          : QString(IdentifyingPollText).arg(Facts.Polls).arg(Facts.PollLimit));
    return;
  }
  // Open and no longer identifying: the controller answered if it was being asked.
  if (State_ == TState::Identifying || State_ == TState::Identified) {
    Show(TState::Identified, IdentifiedText);
  } else {
    Show(TState::Connected, ConnectedText);
  }
}

void TStatusLine::ShowLineLost() {
  Show(TState::Lost, ConnectionLostText);
}

void TStatusLine::SetTransferResult(const std::string& Result) {
  const QString Text = QString::fromStdString(Result);
  TransferLabel->Announce(Text);
  TransferLabel->setToolTip(Text);
}

void TStatusLine::Show(TState State, const QString& Text) {
  const bool Changed = State != State_;
  State_ = State;
  if (Changed) {
    StateLabel->Announce(Text);
  } else if (StateLabel->text() != Text) {
    StateLabel->setText(Text);
  }
}

}  // namespace tolvane
