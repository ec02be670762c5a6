// The main window's values files and comparison: File, "Open Values...", "Save Values As..." and
// "Compare with Controller", and the backups the sequencer makes for the window.
#include <QDir>
#include <QFileInfo>

#include "app/form_main.h"
#include "logic/files/values_file.h"
#include "logic/protocol/field_check.h"
#include "logic/transfer/application_title.h"
#include "logic/transfer/transfer_report.h"

namespace tolvane {
namespace {

constexpr const char* ProposedValuesFileName = "Values.ini";
constexpr const char* NothingOpenedText = "Nothing was opened.\n";
constexpr const char* NothingSavedText = "Nothing was saved.\n";

std::string FileNameOf(const std::string& Path) {
  return QFileInfo(QString::fromStdString(Path)).fileName().toStdString();
}

}  // namespace

void TForm1::BuildValuesMenu() {
  ValuesMenu = std::make_unique<TValuesMenu>(*Menu);
  Bind(ValuesMenu->MMCompare, &TForm1::MMCompareClick);
  Bind(ValuesMenu->MMOpenValues, &TForm1::MMOpenValuesClick);
  Bind(ValuesMenu->MMSaveValues, &TForm1::MMSaveValuesClick);
  FileDialogRunner_ = [this](TFileDialogKind Kind, const QString& StartPath) {
    return RunValuesFileDialog(this, Kind, StartPath);
  };
  Sequencer_.SetBackups(&Backups_);
}

// The dialog starts among the backups, the file an operator most likely wants back.
void TForm1::MMOpenValuesClick() {
  if (Sequencer_.Running()) return;  // the fields are locked while a transfer runs
  const QString History = QString::fromStdString(Backups_.Directory().string());
  const QString Path = FileDialogRunner_(TFileDialogKind::OpenValues,
                                         QDir(History).exists() ? History : QDir::homePath());
  if (Path.isEmpty()) return;
  const TValuesFileContent Content = ReadValuesFile(Path.toStdString());
  if (!Content.Values) {
    ShowError(NothingOpenedText + Content.Problem, std::string(ApplicationTitle));
    return;
  }
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) SetFieldText(Row, (*Content.Values)[Row]);
  ShowTransferResult("Opened " + FileNameOf(Path.toStdString()) +
                     "; Write sends these values to the controller");
}

// Only values that a Write would send are saved, so that the file opens again.
void TForm1::MMSaveValuesClick() {
  TRegisterTexts Values;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    Values[Row] = FieldText(Row);
    if (!IsValidFieldText(Values[Row])) {
      ShowError(NothingSavedText + WrongDataText(Row, Values[Row]), std::string(WrongDataTitle));
      FocusField(Row);
      return;
    }
  }
  const QString Path =
      FileDialogRunner_(TFileDialogKind::SaveValues, QDir::home().filePath(ProposedValuesFileName));
  if (Path.isEmpty()) return;
  try {
    WriteValuesFile(Path.toStdString(), Values);
  } catch (const Exception& Error) {
    ShowError(NothingSavedText + (Error.Detail().empty() ? Error.Message() : Error.Detail()),
              std::string(ApplicationTitle));
    return;
  }
  ShowTransferResult("Saved the values in " + FileNameOf(Path.toStdString()));
}

void TForm1::MMCompareClick() {
  Sequencer_.ButtonCompareClick();
}

}  // namespace tolvane
