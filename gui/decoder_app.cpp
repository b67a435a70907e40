#include "decoder_app.h"

#include <QApplication>

#include "app_icon.h"
#include "decode_file.h"
#include "decoder_dlg.h"

void CDecoderApp::SetCommandLine(std::string_view command_line) {
    m_startFile = vantor::start_file_from_command_line(command_line);
    m_pszStartFile = m_startFile ? m_startFile->c_str() : nullptr;
}

void CDecoderApp::DecodeFile(const char *path) {
    if (m_pMainWnd)
        vantor::DecodeFile(path, *m_pMainWnd);
}

int CDecoderApp::InitInstance(std::string_view command_line) {
    // Also the icon of the taskbar entry.
    QApplication::setWindowIcon(vantor::gui::app_icon());
    CDecoderDlg dialog(*this);
    m_pMainWnd = &dialog;
    SetCommandLine(command_line);
    // The close button leaves through exit(1) from inside; returning here
    // means Escape or the close box, a normal end.
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return 0;
}
