#include "about_box.h"

#include <algorithm>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app_icon.h"
#include "dialog_units.h"
#include "resource.h"
#include <vantor/vantor.h>

using namespace vantor::gui;

CAboutBox::CAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QString::fromUtf8(about_caption));
    setFont(dialog_font());
    const DialogUnits units(font());
    setFixedSize(units.size(about_client));

    // The icon keeps the platform's standard icon size, placed at the
    // template's corner.
    auto *icon = new QLabel(this);
    const QIcon application_icon = app_icon();
    const QRect icon_rect = units.rect(about_icon_pos);
    icon->setPixmap(application_icon.pixmap(32, 32));
    icon->setGeometry(icon_rect.x(), icon_rect.y(), 32, 32);
    setWindowIcon(application_icon);

    auto *product = new QLabel(QString::fromUtf8(product_line_text), this);
    product->setTextFormat(Qt::PlainText);
    product->setGeometry(units.rect(product_line_rect));

    m_editVersion = new QLineEdit(this);
    m_editVersion->setObjectName(QStringLiteral("m_editVersion"));
    m_editVersion->setReadOnly(true);
    m_editVersion->setGeometry(units.rect(version_box_rect));

    auto *credit = new QLabel(QString::fromUtf8(credit_line_text), this);
    credit->setTextFormat(Qt::PlainText);
    // Wider faces than the template's need a second line rather than
    // losing the end of the text.
    credit->setWordWrap(true);
    QRect credit_rect = units.rect(credit_line_rect);
    credit_rect.setHeight(std::max(credit_rect.height(), credit->heightForWidth(credit_rect.width())));
    credit->setGeometry(credit_rect);

    auto *program = new QLabel(QString::fromUtf8(program_line_prefix) + QStringLiteral(VANTOR_PROGRAM_VERSION), this);
    program->setObjectName(QStringLiteral("programVersion"));
    program->setTextFormat(Qt::PlainText);
    program->setGeometry(units.rect(program_line_rect));

    auto *ok = new QPushButton(QString::fromUtf8(ok_button_text), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setGeometry(units.rect(ok_button_rect));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    DoDataExchange();
    // The first control that takes the tab, with its text selected.
    setTabOrder(m_editVersion, ok);
    m_editVersion->setFocus();
    m_editVersion->selectAll();
}

void CAboutBox::DoDataExchange() {
    m_editVersion->setText(QString::fromUtf8(decoder_version()));
}
