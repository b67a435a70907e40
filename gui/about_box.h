// The About box: product name, the decoder's version, the JPEG credit.
#pragma once

#include <QDialog>

class QLineEdit;

class CAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit CAboutBox(QWidget *parent = nullptr);

    // Shown modally; the result is the dialog's.
    int DoModal() { return exec(); }

    QLineEdit *m_editVersion = nullptr;

private:
    // Fills the version box from the decoder.
    void DoDataExchange();
};
