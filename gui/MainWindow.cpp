#include "gui/MainWindow.h"

#include "app/FormatTable.h"
#include "app/ToolButtons.h"
#include "gui/QtText.h"

#include <QAbstractListModel>
#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QListView>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <initializer_list>

namespace eitool::gui {

namespace {

// The window's client area and the heights of its bands, top to bottom.
constexpr int kWidth = 688;
constexpr int kHeight = 464;
constexpr int kToolBarHeight = 26;
constexpr int kLogListHeight = 189;
constexpr int kGroupBoxHeight = 66;
// The frame's inner margin, where its labels start, the counter and Save results.
constexpr int kFrameMargin = 8;
constexpr int kExtractedLeft = 312;
constexpr int kSaveLogLeft = kWidth - 8 - 71 - 4 - 105;
// The distance from one tool button to the next.
constexpr int kToolButtonPitch = 23;

// The shortest time between two immediate repaints of the counter.
constexpr std::chrono::milliseconds kFrame(16);

// The paths of the local files a drag carries; empty when it carries anything else.
QStringList LocalFiles(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            return {};
        }
        paths << url.toLocalFile();
    }
    return paths;
}

// A tool button's image with its grey version for the disabled button.
QIcon ToolIcon(int image) {
    QIcon icon;
    for (const bool enabled : {true, false}) {
        const ToolImage pixels = ToolButtonImage(image, enabled);
        QImage picture(kToolImageSize, kToolImageSize, QImage::Format_ARGB32);
        for (int y = 0; y < kToolImageSize; ++y) {
            for (int x = 0; x < kToolImageSize; ++x) {
                picture.setPixel(x, y, pixels[static_cast<std::size_t>(y * kToolImageSize + x)]);
            }
        }
        icon.addPixmap(QPixmap::fromImage(picture), enabled ? QIcon::Normal : QIcon::Disabled);
    }
    return icon;
}

TextLines AbsolutePaths(const QStringList& paths) {
    TextLines absolute;
    absolute.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths) {
        absolute.push_back(FromQt(QDir::current().absoluteFilePath(path)));
    }
    return absolute;
}

} // namespace

// The input list as the list box shows it: the form's entries, read where they are.
class LogListModel : public QAbstractListModel {
public:
    LogListModel(const TextLines& entries, QObject* parent)
        : QAbstractListModel(parent), m_entries(entries) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid() ||
            static_cast<std::size_t>(index.row()) >= m_entries.size()) {
            return {};
        }
        return ToQt(m_entries[static_cast<std::size_t>(index.row())]);
    }
    void Reset() {
        beginResetModel();
        endResetModel();
    }

private:
    const TextLines& m_entries;
};

MainWindow::MainWindow(Dialogs* dialogs) : m_qtDialogs(this) {
    setWindowTitle(QStringLiteral("Extract\\Insert Tool"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // Qt takes a tool window for a secondary one; this one is the program's window.
    setAttribute(Qt::WA_QuitOnClose, true);
    setFixedSize(kWidth, kHeight);
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    BuildToolBar();
    layout->addWidget(m_toolBar);

    m_logList = new QListView(this);
    m_logList->setObjectName(QStringLiteral("LogList"));
    m_logList->setAccessibleName(QStringLiteral("Input list"));
    m_logList->setFixedHeight(kLogListHeight);
    m_logList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_logList->setUniformItemSizes(true);
    m_logList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_logList->setAcceptDrops(true);
    m_logList->viewport()->setAcceptDrops(true);
    m_logList->setDragDropMode(QAbstractItemView::DropOnly);
    m_logList->installEventFilter(this);
    m_logList->viewport()->installEventFilter(this);
    layout->addWidget(m_logList);

    m_results = new QPlainTextEdit(this);
    m_results->setObjectName(QStringLiteral("Results"));
    m_results->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_results->setTabChangesFocus(true); // Tab moves on; the results are lines, not a table
    m_results->setAccessibleName(QStringLiteral("Results"));
    layout->addWidget(m_results, 1);

    BuildStatusFrame();
    layout->addWidget(m_groupBox);

    // Tab goes from the tool buttons to the list, the results, Save results and Stop.
    QWidget* previous = nullptr;
    for (QAction* tool : m_tools) {
        QWidget* next = m_toolBar->widgetForAction(tool);
        if (previous != nullptr && next != nullptr) {
            setTabOrder(previous, next);
        }
        previous = next != nullptr ? next : previous;
    }
    for (QWidget* next : std::initializer_list<QWidget*>{m_logList, m_results, m_saveLog, m_stop}) {
        if (previous != nullptr) {
            setTabOrder(previous, next);
        }
        previous = next;
    }
    // Esc presses Stop while it is enabled.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (m_form->View().Shown().Stop) {
            Forward(&TMainForm::StopClick);
        }
    });

    m_surface = std::make_unique<QtSurface>(*m_results);
    m_dialogs = dialogs != nullptr ? dialogs : &m_qtDialogs;
    m_form = std::make_unique<TMainForm>(*m_surface, *m_dialogs);
    // A pack whose pieces grew is rebuilt only when the user says so.
    m_form->State().Grow = GrowMode::Ask;
    m_logModel = new LogListModel(m_form->State().inputList, this);
    m_logList->setModel(m_logModel);
    connect(m_logList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { ListSelectionChanged(); });
    connect(m_logList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                ListCurrentChanged(current.isValid() ? current.row() : -1);
            });
    m_statusTimer = new QTimer(this);
    m_statusTimer->setSingleShot(true);
    connect(m_statusTimer, &QTimer::timeout, this, [this] { DrawStatus(true); });
    m_form->SetViewObserver([this](unsigned changes) { Draw(changes); });
    Draw(vcControls | vcList | vcStatus);

    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

MainWindow::~MainWindow() {
    m_form->SetViewObserver(nullptr);
    m_logList->setModel(nullptr); // the model reads the form's entries, which go first
}

void MainWindow::BuildToolBar() {
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
    m_toolBar->setFixedHeight(kToolBarHeight);
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setContentsMargins(0, 0, 0, 0);

    m_toolBar->layout()->setSpacing(0);
    m_toolBar->setStyleSheet(
        QStringLiteral("QToolBar { border: 1px solid palette(mid); spacing: 0px; padding: 0px; }"));

    void (TMainForm::*const handlers[])() = {
        &TMainForm::BAddLogClick, &TMainForm::ProcessDirClick, &TMainForm::BSaveListClick,
        &TMainForm::BRemLogClick, &TMainForm::BClearAllClick,  &TMainForm::BProcessClick,
        &TMainForm::BExitClick,
    };
    for (std::size_t i = 0; i < m_tools.size(); ++i) {
        const eitool::ToolButton& button = kToolButtons[i];
        QAction* action = m_toolBar->addAction(ToolIcon(button.image), QString());
        action->setObjectName(QString::fromLatin1(button.name));
        const QString hint = QString::fromLatin1(button.hint);
        const QString shortcut = QString::fromLatin1(button.shortcut);
        action->setToolTip(shortcut.isEmpty() || i == tbRemLog
                               ? hint
                               : hint + QStringLiteral(" (") + shortcut + QLatin1Char(')'));
        // Delete belongs to the list box and the results pane; the list box's own filter
        // removes entries with it.
        if (!shortcut.isEmpty() && i != tbRemLog) {
            action->setShortcut(QKeySequence(shortcut));
            action->setShortcutContext(Qt::WindowShortcut);
        }
        const auto handler = handlers[i];
        connect(action, &QAction::triggered, this, [this, handler] { Forward(handler); });
        m_tools[i] = action;
        if (QWidget* widget = m_toolBar->widgetForAction(action); widget != nullptr) {
            widget->setObjectName(QString::fromLatin1(button.name) + QStringLiteral("Button"));
            widget->setFixedSize(kToolButtonPitch, kToolBarHeight - 4);
            widget->setAccessibleName(hint);
            widget->setFocusPolicy(Qt::TabFocus);
        }
    }
    m_toolBar->setFixedHeight(kToolBarHeight);
}

void MainWindow::BuildStatusFrame() {
    m_groupBox = new QGroupBox(QStringLiteral(" Process "), this);
    m_groupBox->setObjectName(QStringLiteral("GroupBox1"));
    m_groupBox->setFixedHeight(kGroupBoxHeight);
    // The caption sits on the frame's top edge.
    m_groupBox->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); margin: 6px 2px 2px 2px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0px 1px; }"));

    m_currentMessage = new QLabel(m_groupBox);
    m_currentMessage->setObjectName(QStringLiteral("CurrentMessage"));
    m_currentMessage->setGeometry(kFrameMargin, 15, kExtractedLeft - 4 - kFrameMargin, 17);
    m_extracted = new QLabel(m_groupBox);
    m_extracted->setObjectName(QStringLiteral("Extracted"));
    m_extracted->setGeometry(kExtractedLeft, 15, kSaveLogLeft - 4 - kExtractedLeft, 17);

    m_summary = new QLabel(m_groupBox);
    m_summary->setObjectName(QStringLiteral("Summary"));
    m_summary->setGeometry(8, 15, kSaveLogLeft - 4 - 8, 17);
    m_summary->hide();

    m_saveLog = new QPushButton(QStringLiteral("Save results"), m_groupBox);
    m_saveLog->setObjectName(QStringLiteral("SaveLog"));
    m_saveLog->setGeometry(kSaveLogLeft, 14, 105, 19);
    m_stop = new QPushButton(QStringLiteral("Stop"), m_groupBox);
    m_stop->setObjectName(QStringLiteral("Stop"));
    m_stop->setGeometry(kWidth - 8 - 71, 14, 71, 19);
    connect(m_saveLog, &QPushButton::clicked, this, [this] { Forward(&TMainForm::SaveLogClick); });
    connect(m_stop, &QPushButton::clicked, this, [this] { Forward(&TMainForm::StopClick); });

    m_progress = new QProgressBar(m_groupBox);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_total = new QProgressBar(m_groupBox);
    m_total->setObjectName(QStringLiteral("Total"));
    int top = 36;
    for (QProgressBar* bar : {m_progress, m_total}) {
        bar->setRange(0, 100);
        bar->setTextVisible(false);
        bar->setGeometry(8, top, 671, 13);
        top += 14;
    }
}

bool MainWindow::AddFiles(const QStringList& paths) {
    if (!m_form->View().Shown().BAddLog) {
        return false;
    }
    bool added = false;
    Guarded(this, [&] { added = m_form->AddFiles(AbsolutePaths(paths)); });
    return added;
}

void MainWindow::AddStartFiles(const QStringList& paths) {
    QStringList missing;
    for (const QString& path : paths) {
        if (!QFileInfo(path).isFile()) {
            missing << path;
            std::fprintf(stderr, "eitool-gui: %s: no such file\n", qPrintable(path));
        }
    }
    if (!missing.isEmpty()) {
        std::fputs("eitool-gui: none of the files was added\n", stderr);
        m_dialogs->ShowMessage("No such file: " + FromQt(missing.join(QStringLiteral(", "))) +
                                   "; none of the files was added.",
                               "Operation status", miWarning);
    } else if (!paths.isEmpty() && !AddFiles(paths)) {
        // The form has said why in its own message box.
        std::fputs("eitool-gui: the files named are not all of one known type "
                   "(*.tre, *.bmpx/*.tgax, *.fnt, *.lst, *.log); none was added\n",
                   stderr);
    }
}

// A handler runs inside the click; a close asked for during a run happens after it.
void MainWindow::Forward(void (TMainForm::*handler)()) {
    m_surface->DispatchAtNextCall();
    Guarded(this, [&] { ((*m_form).*handler)(); });
    if (m_closeAfterRun && !m_form->View().running) {
        m_closeAfterRun = false;
        close();
    }
}

// NOTE: closing the window during a run presses Stop and closes it once the run has ended; the
// run's own message boxes are still shown.
void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_form->View().running) {
        m_closeAfterRun = true;
        if (m_form->View().Shown().Stop) {
            Guarded(this, [&] { m_form->StopClick(); });
        }
        event->ignore();
        return;
    }
    event->accept();
}

// The list box: Delete removes the selected entries; files dropped on it are added.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_logList && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        if (m_form->View().Shown().BRemLog) {
            Forward(&TMainForm::BRemLogClick);
        }
        return true;
    }
    if (watched == m_logList->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            const QStringList paths = LocalFiles(drag->mimeData());
            if (m_form->View().Shown().BAddLog && !paths.isEmpty() &&
                TypeOfFiles(AbsolutePaths(paths)) != 0) {
                drag->acceptProposedAction();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (AddFiles(LocalFiles(drop->mimeData()))) {
                drop->acceptProposedAction();
            } else {
                drop->ignore();
            }
            return true;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::Draw(unsigned changes) {
    if ((changes & vcControls) != 0) {
        DrawControls();
    }
    if ((changes & vcList) != 0 && !m_drawingList) {
        DrawList();
    }
    if ((changes & (vcStatus | vcControls)) != 0) {
        // A change of the controls (the end of a run) shows the latest counter too.
        DrawStatus((changes & vcControls) != 0);
    }
    if ((changes & vcClose) != 0 && m_form->View().closeRequested) {
        close();
    }
}

void MainWindow::DrawControls() {
    const ControlStates shown = m_form->View().Shown();
    const bool tools[] = {shown.BAddLog,   shown.ProcessDir, shown.BSaveList, shown.BRemLog,
                          shown.BClearAll, shown.BProcess,   shown.BExit};
    for (std::size_t i = 0; i < m_tools.size(); ++i) {
        m_tools[i]->setEnabled(tools[i]);
    }
    m_stop->setEnabled(shown.Stop);
    m_saveLog->setEnabled(shown.SaveLog);
    const QString stopCaption = ToQt(m_form->View().StopCaption);
    if (m_stop->text() != stopCaption) {
        m_stop->setText(stopCaption);
    }
    const QString frameCaption = ToQt(m_form->View().FrameCaption());
    if (m_groupBox->title() != frameCaption) {
        m_groupBox->setTitle(frameCaption);
    }
}

// Shows the entries, the selection and the current entry of the model. The selection is given to
// the view as runs of adjacent entries, so a large selection is a few ranges.
void MainWindow::DrawList() {
    m_drawingList = true;
    const MainFormView& view = m_form->View();
    m_logModel->Reset();
    QItemSelection selection;
    const std::vector<std::size_t>& selected = view.selected;
    for (std::size_t first = 0; first < selected.size();) {
        std::size_t last = first;
        while (last + 1 < selected.size() && selected[last + 1] == selected[last] + 1) {
            ++last;
        }
        selection.select(m_logModel->index(static_cast<int>(selected[first])),
                         m_logModel->index(static_cast<int>(selected[last])));
        first = last + 1;
    }
    QItemSelectionModel* model = m_logList->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    if (view.current >= 0) {
        model->setCurrentIndex(m_logModel->index(view.current), QItemSelectionModel::NoUpdate);
    } else {
        model->clearCurrentIndex();
    }
    m_drawingList = false;
}

namespace {

// Sets a bar's value without the repaint at once that QProgressBar makes of each step it can show:
// the bar is drawn at the next dispatch of events, which comes at most once a frame.
void SetBarValue(QProgressBar& bar, int value) {
    if (bar.value() == value) {
        return;
    }
    bar.setUpdatesEnabled(false);
    bar.setValue(value);
    bar.setUpdatesEnabled(true); // schedules an ordinary repaint
}

} // namespace

// A run counts thousands of pieces a second. The counter is repainted at once, as the run expects
// of it, but at most once a frame; a counter changed alone within a frame is set with the next
// change of the other labels or the bars, or when its frame is over (a timer sees to the last
// one). The rest is drawn at the next dispatch.
void MainWindow::DrawStatus(bool whenever) {
    const MainFormView& view = m_form->View();
    const bool others = view.CurrentMessage != m_shownMessage ||
                        m_progress->value() != view.Progress ||
                        m_total->maximum() != view.TotalMax || m_total->value() != view.Total;
    if (view.CurrentMessage != m_shownMessage) {
        m_shownMessage = view.CurrentMessage;
        m_currentMessage->setText(ToQt(m_shownMessage));
    }
    if (view.Extracted != m_shownExtracted) {
        const auto now = std::chrono::steady_clock::now();
        const bool frameOver = now >= m_nextExtractedPaint;
        if (whenever || others || frameOver) {
            m_shownExtracted = view.Extracted;
            m_extracted->setText(ToQt(m_shownExtracted));
            FitExtracted();
        }
        if (frameOver) {
            m_nextExtractedPaint = now + kFrame;
            m_extracted->repaint();
        } else if (!m_statusTimer->isActive()) {
            m_statusTimer->start(kFrame);
        }
    }
    if (view.Summary != m_shownSummary) {
        DrawSummary();
    }
    SetBarValue(*m_progress, view.Progress);
    if (m_total->maximum() != view.TotalMax) {
        m_total->setMaximum(view.TotalMax);
    }
    SetBarValue(*m_total, view.Total);
}

// The counter shows its whole text: where it is longer than its place in the middle of the
// frame, it grows to the left, over the part of the status label that has no text.
void MainWindow::FitExtracted() {
    const int right = m_extracted->geometry().right();
    const int needed = m_extracted->fontMetrics().horizontalAdvance(m_extracted->text()) + 4;
    const int left = std::max(kFrameMargin, std::min(kExtractedLeft, right + 1 - needed));
    if (left != m_extracted->x()) {
        m_extracted->setGeometry(left, m_extracted->y(), right + 1 - left, m_extracted->height());
        m_currentMessage->resize(std::max(0, left - 4 - kFrameMargin), m_currentMessage->height());
    }
}

// The summary takes the place of the two labels, which are empty once a run has ended. A text
// longer than the frame has room for ends in an ellipsis, and its tooltip shows it whole.
void MainWindow::DrawSummary() {
    m_shownSummary = m_form->View().Summary;
    const QString summary = ToQt(m_shownSummary);
    m_summary->setText(
        m_summary->fontMetrics().elidedText(summary, Qt::ElideRight, m_summary->width()));
    m_summary->setToolTip(summary);
    const bool shown = !summary.isEmpty();
    m_summary->setVisible(shown);
    m_currentMessage->setVisible(!shown);
    m_extracted->setVisible(!shown);
}

void MainWindow::ListSelectionChanged() {
    if (m_drawingList) {
        return;
    }
    std::vector<std::size_t> rows;
    const QModelIndexList indexes = m_logList->selectionModel()->selectedRows();
    rows.reserve(static_cast<std::size_t>(indexes.size()));
    for (const QModelIndex& index : indexes) {
        rows.push_back(static_cast<std::size_t>(index.row()));
    }
    m_drawingList = true;
    m_form->SelectEntries(std::move(rows));
    m_drawingList = false;
}

void MainWindow::ListCurrentChanged(int row) {
    if (m_drawingList) {
        return;
    }
    m_drawingList = true;
    m_form->SetCurrentEntry(row);
    m_drawingList = false;
}

} // namespace eitool::gui
