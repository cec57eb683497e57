#include "gui/DirDialog.h"

#include "app/TDirForm.h"
#include "gui/QtDialogs.h"
#include "gui/QtText.h"

#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace eitool::gui {

namespace {

// The dialog as designed: its client area and its place on the screen.
constexpr int kWidth = 418;
constexpr int kHeight = 53;
constexpr int kLeft = 298;
constexpr int kTop = 293;

} // namespace

DirDialog::DirDialog(TDirForm& form, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), m_form(form) {
    setWindowTitle(QStringLiteral("Directory to add"));
    setFixedSize(kWidth, kHeight);
    move(kLeft, kTop);
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);

    auto* bevel = new QFrame(this);
    bevel->setFrameShape(QFrame::Panel);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(2, 2, kWidth - 4, kHeight - 4);

    auto* label2 = new QLabel(QStringLiteral("Directory:"), this);
    label2->setGeometry(8, 6, 56, 19);
    m_scanDir = new QLineEdit(this);
    m_scanDir->setObjectName(QStringLiteral("ScanDir"));
    m_scanDir->setGeometry(66, 5, 201, 21);
    m_callDialog = new QToolButton(this);
    m_callDialog->setObjectName(QStringLiteral("CallDialog"));
    m_callDialog->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
    m_callDialog->setGeometry(269, 5, 22, 21);

    auto* label1 = new QLabel(QStringLiteral("File Type:"), this);
    label1->setGeometry(8, 29, 56, 19);
    m_filter = new QComboBox(this);
    m_filter->setObjectName(QStringLiteral("Filter"));
    m_filter->setEditable(false);
    m_filter->setGeometry(66, 28, 227, 21);

    m_bOk = new QPushButton(QStringLiteral("Ok"), this);
    m_bOk->setObjectName(QStringLiteral("BOk"));
    m_bOk->setGeometry(334, 5, 75, 21);
    m_bCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_bCancel->setObjectName(QStringLiteral("BCancel"));
    m_bCancel->setGeometry(334, 28, 75, 21);
    for (QPushButton* button : {m_bOk, m_bCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    connect(m_scanDir, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_form.SetScanDir(FromQt(text));
        Refresh();
    });
    connect(m_filter, &QComboBox::activated, this, [this](int index) {
        m_form.ChooseFilter(index);
        Refresh();
    });
    connect(m_callDialog, &QToolButton::clicked, this, [this] { CallDialogClick(); });
    connect(m_bOk, &QPushButton::clicked, this, [this] {
        if (m_form.BOkEnabled()) {
            accept();
        }
    });
    connect(m_bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void DirDialog::Refresh() {
    const QString scanDir = ToQt(m_form.ScanDir());
    if (m_scanDir->text() != scanDir) {
        m_scanDir->setText(scanDir);
    }
    QStringList items;
    for (const std::string& item : m_form.Filter()) {
        items << ToQt(item);
    }
    QStringList shown;
    for (int i = 0; i < m_filter->count(); ++i) {
        shown << m_filter->itemText(i);
    }
    if (shown != items) {
        m_filter->clear();
        m_filter->addItems(items);
    }
    m_filter->setCurrentIndex(m_form.FilterItemIndex());
    m_bOk->setEnabled(m_form.BOkEnabled());
}

// Enter and Esc do nothing here: only the buttons and the window's close box end the dialog.
void DirDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void DirDialog::CallDialogClick() {
    Guarded(this, [this] { m_form.CallDialogClick(); });
    Refresh();
}

} // namespace eitool::gui
