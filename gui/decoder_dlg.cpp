#include "decoder_dlg.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

#include <cstdlib>

#include "about_box.h"
#include "app_icon.h"
#include "decoder_app.h"
#include "dialog_units.h"
#include "resource.h"

using namespace vantor::gui;

namespace {

// The wait cursor over the application while reading and decoding.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// Lifts every override cursor for its lifetime and puts them back after, so
// that a message box shown during a decode has the ordinary arrow.
class CursorPause {
public:
    CursorPause() {
        while (QApplication::overrideCursor()) {
            QApplication::restoreOverrideCursor();
            ++paused_;
        }
    }
    ~CursorPause() {
        for (int i = 0; i < paused_; ++i)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    CursorPause(const CursorPause &) = delete;
    CursorPause &operator=(const CursorPause &) = delete;

private:
    int paused_ = 0;
};

// A drop is taken as a copy (or a link) so that the source never deletes the
// file as it would after a move.
bool accept_as_copy(QDropEvent *event) {
    if (!event->mimeData()->hasUrls())
        return false;
    if (event->possibleActions() & Qt::CopyAction)
        event->setDropAction(Qt::CopyAction);
    else if (event->possibleActions() & Qt::LinkAction)
        event->setDropAction(Qt::LinkAction);
    else
        return false;
    event->accept();
    return true;
}

} // namespace

CDecoderDlg::CDecoderDlg(CDecoderApp &app)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      m_hIcon(app_icon()), m_app(app) {
    setWindowTitle(QString::fromUtf8(main_caption));
    setFont(dialog_font());
    const DialogUnits units(font());
    setFixedSize(units.size(main_client));

    // Created in the template's order, which is also the tab order.
    m_buttonClose = new QPushButton(QString::fromUtf8(close_button_text), this);
    m_buttonClose->setObjectName(QStringLiteral("closeButton"));
    m_buttonClose->setGeometry(units.rect(close_button_rect));
    m_buttonClose->setDefault(true);
    connect(m_buttonClose, &QPushButton::clicked, this, [this] { OnCloseButton(); });

    // The boxes take the focus only from a click, never from the tab key.
    m_editText = new QPlainTextEdit(this);
    m_editText->setObjectName(QStringLiteral("m_editText"));
    m_editText->setGeometry(units.rect(result_box_rect));
    m_editText->setReadOnly(true);
    m_editText->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_editText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_editText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_editText->setFocusPolicy(Qt::ClickFocus);
    m_editText->setTabChangesFocus(true);

    m_buttonAbout = new QPushButton(QString::fromUtf8(about_button_text), this);
    m_buttonAbout->setObjectName(QStringLiteral("aboutButton"));
    m_buttonAbout->setGeometry(units.rect(about_button_rect));
    connect(m_buttonAbout, &QPushButton::clicked, this, [this] { OnAboutButton(); });

    m_editName = new QLineEdit(this);
    m_editName->setObjectName(QStringLiteral("m_editName"));
    m_editName->setGeometry(units.rect(name_box_rect));
    m_editName->setReadOnly(true);
    m_editName->setFocusPolicy(Qt::ClickFocus);

    // Files dropped anywhere on the dialog, the boxes included, come to the
    // dialog itself.
    m_editText->setAcceptDrops(false);
    m_editText->viewport()->setAcceptDrops(false);
    m_editName->setAcceptDrops(false);
}

int CDecoderDlg::DoModal() {
    OnInitDialog();
    return exec();
}

bool CDecoderDlg::OnInitDialog() {
    // No application can reach the window manager's system menu, so its
    // usual entries and the About item make up a menu of the dialog's own.
    if (m_sysMenu)
        return true;
    m_sysMenu = new QMenu(this);
    m_sysMenu->setObjectName(QStringLiteral("sysMenu"));
    m_sysMenu->addAction(QString::fromUtf8(minimize_menu_text), this,
                         [this] { OnSysCommand(minimize_command, 0); });
    m_sysMenu->addAction(QString::fromUtf8(close_menu_text), this,
                         [this] { OnSysCommand(close_command, 0); });
    m_sysMenu->addSeparator();
    m_sysMenu->addAction(QString::fromUtf8(about_menu_text), this,
                         [this] { OnSysCommand(about_box_command, 0); });

    setWindowIcon(m_hIcon);
    setAcceptDrops(true);

    if (m_app.m_pszStartFile) {
        WaitCursor wait;
        m_app.DecodeFile(m_app.m_pszStartFile);
    }
    m_buttonClose->setFocus();
    return true;
}

void CDecoderDlg::OnDropFiles(const QList<QUrl> &drop) {
    SetResultText(std::string());
    SetNameText(std::string());
    if (drop.isEmpty())
        return;
    // A file's own bytes as the file system names it; anything not a local
    // file gives no path.
    const QString local = drop.front().toLocalFile();
    if (local.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(local);
    WaitCursor wait;
    m_app.DecodeFile(path.constData());
}

void CDecoderDlg::OnSysCommand(unsigned nID, long /*lParam*/) {
    switch (nID & 0xFFF0) {
    case about_box_command:
        OnAboutButton();
        break;
    case minimize_command:
        showMinimized();
        break;
    case close_command:
        close();
        break;
    default:
        break;
    }
}

void CDecoderDlg::OnCloseButton() {
    std::exit(1);
}

void CDecoderDlg::OnAboutButton() {
    CAboutBox about(this);
    about.DoModal();
}

void CDecoderDlg::SetNameText(const std::string &text) {
    m_editName->setText(QString::fromStdString(text));
    // Show the start of a long name, as the box does after any set text.
    m_editName->setCursorPosition(0);
}

void CDecoderDlg::SetResultText(const std::string &text) {
    m_editText->setPlainText(QString::fromStdString(text));
}

void CDecoderDlg::ShowMessage(const std::string &text) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                    QString::fromStdString(text), QMessageBox::Ok, this);
    // A path in a message is never read as markup.
    box.setTextFormat(Qt::PlainText);
    CursorPause arrow;
    box.exec();
}

void CDecoderDlg::dragEnterEvent(QDragEnterEvent *event) {
    accept_as_copy(event);
}

void CDecoderDlg::dragMoveEvent(QDragMoveEvent *event) {
    accept_as_copy(event);
}

void CDecoderDlg::dropEvent(QDropEvent *event) {
    if (!accept_as_copy(event))
        return;
    // Handled once the drag has ended, so that the source is not kept
    // waiting through the decode and its message boxes.
    QMetaObject::invokeMethod(
        this, [this, urls = event->mimeData()->urls()] { OnDropFiles(urls); },
        Qt::QueuedConnection);
}

void CDecoderDlg::contextMenuEvent(QContextMenuEvent *event) {
    ShowSysMenu(event->globalPos());
}

void CDecoderDlg::ShowSysMenu(const QPoint &global_pos) {
    if (m_sysMenu)
        m_sysMenu->popup(global_pos);
}
