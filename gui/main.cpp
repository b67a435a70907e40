// vantor-gui: an always-on-top dialog that shows the text of the QR Code
// symbol in a dropped image file, or in the file named on the command line.
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>

#include <vantor/vantor.h>

#include "decode_file.h"
#include "decoder_app.h"

CDecoderApp theApp;

int main(int argc, char **argv) {
    // Answered before Qt starts, so that it needs no display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("vantor-gui %s (decoder %s)\n", VANTOR_PROGRAM_VERSION, decoder_version());
        return 0;
    }
    QApplication application(argc, argv);
    // Read after Qt has taken its own options (-platform, -style, ...) out
    // of the arguments.
    const std::string command_line = vantor::command_line_from_arguments(argc, argv);
    return theApp.InitInstance(command_line);
}
