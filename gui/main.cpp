// vantor-gui: an always-on-top dialog that shows the text of the QR Code
// symbol in a dropped image file, or in the file named on the command line.
#include <QApplication>

#include <string>

#include "decode_file.h"
#include "decoder_app.h"

CDecoderApp theApp;

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    // Read after Qt has taken its own options (-platform, -style, ...) out
    // of the arguments.
    const std::string command_line = vantor::command_line_from_arguments(argc, argv);
    return theApp.InitInstance(command_line);
}
