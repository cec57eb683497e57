#pragma once

#include "app/TMainForm.h"
#include "gui/QtDialogs.h"
#include "gui/QtSurface.h"
#include "images/Targa.h"
#include "textobject/TextObject.h"

#include <QWidget>
#include <array>
#include <chrono>
#include <memory>
#include <string>

class QAction;
class QGroupBox;
class QLabel;
class QListView;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolBar;

namespace eitool::gui {

class LogListModel;

// The tool buttons, in their order on the tool bar.
enum ToolButton { tbAddLog, tbProcessDir, tbSaveList, tbRemLog, tbClearAll, tbProcess, tbExit };

// The main window "Extract\Insert Tool", drawn from the form model it owns: every click goes to
// the form's handler, and whatever the handler changed is drawn again when the form's view tells
// of it. A failure that ends a handler is shown in a message box and the window goes on.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    // dialogs answers the form's dialogs; without it the window shows its own Qt dialogs.
    explicit MainWindow(Dialogs* dialogs = nullptr);
    ~MainWindow() override;

    TMainForm& Form() { return *m_form; }

    // Files named on the command line or dropped on the list, added as if chosen in the open
    // dialog; false when they were refused (not all of one known type, or a run goes on).
    bool AddFiles(const QStringList& paths);
    // The files named when the program starts: added as above when all of them exist; why they
    // were not is said in a message box (and on standard error).
    void AddStartFiles(const QStringList& paths);

    QAction* Tool(ToolButton button) const { return m_tools[button]; }
    QToolBar* ToolBar() const { return m_toolBar; }
    QListView* LogList() const { return m_logList; }
    QPlainTextEdit* Results() const { return m_results; }
    QGroupBox* GroupBox() const { return m_groupBox; }
    QLabel* CurrentMessage() const { return m_currentMessage; }
    QLabel* Extracted() const { return m_extracted; }
    // What the last run did, in place of the two labels from its end until the next run.
    QLabel* Summary() const { return m_summary; }
    QPushButton* SaveLog() const { return m_saveLog; }
    QPushButton* Stop() const { return m_stop; }
    QProgressBar* Progress() const { return m_progress; }
    QProgressBar* Total() const { return m_total; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildToolBar();
    void BuildStatusFrame();
    void Forward(void (TMainForm::*handler)());
    void Draw(unsigned changes);
    void DrawControls();
    void DrawList();
    // At most once a frame, unless whenever is set.
    void DrawStatus(bool whenever = false);
    void DrawSummary();
    void FitExtracted();
    void ListSelectionChanged();
    void ListCurrentChanged(int row);

    QtDialogs m_qtDialogs;
    Dialogs* m_dialogs = nullptr; // the dialogs the form asks
    QToolBar* m_toolBar = nullptr;
    std::array<QAction*, 7> m_tools{};
    QListView* m_logList = nullptr;
    LogListModel* m_logModel = nullptr;
    QPlainTextEdit* m_results = nullptr;
    QGroupBox* m_groupBox = nullptr;
    QLabel* m_currentMessage = nullptr;
    QLabel* m_extracted = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_saveLog = nullptr;
    QPushButton* m_stop = nullptr;
    QProgressBar* m_progress = nullptr;
    QProgressBar* m_total = nullptr;

    std::unique_ptr<QtSurface> m_surface;
    std::unique_ptr<TMainForm> m_form;
    // The window carries one text object (IniStyle, AsciiZ, ClearBounds, LinuxFormat, TextAlign
    // 1) and one TGA image (256 x 256, 32 bits per pixel) that nothing calls.
    textobject::TTextObject TextObject{nullptr, textobject::kMainFormTextObject};
    TTarga Targa{nullptr, kMainFormTarga};

    // What the labels show now, to draw only what changed.
    std::string m_shownMessage;
    std::string m_shownExtracted;
    std::string m_shownSummary;
    std::chrono::steady_clock::time_point m_nextExtractedPaint{};
    // Draws a counter that waited for the end of its frame.
    QTimer* m_statusTimer = nullptr;
    bool m_drawingList = false; // the list is being drawn from the model: no echo back to it
    bool m_closeAfterRun = false;
};

} // namespace eitool::gui
