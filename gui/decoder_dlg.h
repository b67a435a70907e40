// The main dialog: an always-on-top drop target that shows a file's name and
// the text of its symbol.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QList>
#include <QUrl>

#include "decode_file.h"

class CDecoderApp;
class QContextMenuEvent;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

class CDecoderDlg : public QDialog, public vantor::DecodeView {
    Q_OBJECT

public:
    // Commands of the window menu, which stands in for the system menu. Only
    // the bits above the low four name a command.
    static constexpr unsigned about_box_command = 0x0010;
    static constexpr unsigned minimize_command = 0xF020;
    static constexpr unsigned close_command = 0xF060;

    explicit CDecoderDlg(CDecoderApp &app);

    // Sets the dialog up, then runs it modally.
    int DoModal();

    // Set-up before the dialog is first shown: window menu, icons, drop
    // target, and the start-up file decoded.
    bool OnInitDialog();
    // The first file of a drop is decoded; the others are ignored.
    void OnDropFiles(const QList<QUrl> &drop);
    void OnSysCommand(unsigned nID, long lParam);
    // Ends the process at once with status 1.
    [[noreturn]] void OnCloseButton();
    void OnAboutButton();

    void SetNameText(const std::string &text) override;
    void SetResultText(const std::string &text) override;
    void ShowMessage(const std::string &text) override;

    QPlainTextEdit *m_editText = nullptr;
    QLineEdit *m_editName = nullptr;
    QPushButton *m_buttonClose = nullptr;
    QPushButton *m_buttonAbout = nullptr;
    // The window menu, opened by a right click on the dialog.
    QMenu *m_sysMenu = nullptr;
    QIcon m_hIcon;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void ShowSysMenu(const QPoint &global_pos);

    CDecoderApp &m_app;
};
