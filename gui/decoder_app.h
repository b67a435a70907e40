// The application object: the start-up path from the command line, the main
// dialog run for the whole life of the process, and the flow both share.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class CDecoderDlg;

class CDecoderApp {
public:
    // Runs the main dialog until Escape or the close box ends it. A
    // QApplication must exist. Returns the process's exit status.
    int InitInstance(std::string_view command_line);

    // Takes the start-up path from the command line; m_pszStartFile is null
    // when the line names none.
    void SetCommandLine(std::string_view command_line);

    // Reads, decodes and shows the file in the main dialog.
    void DecodeFile(const char *path);

    const char *m_pszStartFile = nullptr;
    CDecoderDlg *m_pMainWnd = nullptr;

private:
    std::optional<std::string> m_startFile;
};
