#include "diag/frm_verbose.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "widgets/controls.h"

namespace vendra {

namespace {

QRect Twips(int left, int top, int width, int height) {
    return QRect(Px(left), Px(top), Px(width), Px(height));
}

}  // namespace

frmVerbose::frmVerbose(QWidget* parent)
    : QWidget(parent, Qt::Window),
      cmdDirectCommand(new QPushButton(QStringLiteral("send"), this)),
      txtDirectCommand(new QLineEdit(this)),
      txtIBuffer(new QPlainTextEdit(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Kavro Advanced Config"));
    setFixedSize(Twips(0, 0, 4905, 5490).size());

    cmdDirectCommand->setObjectName(QStringLiteral("cmdDirectCommand"));
    cmdDirectCommand->setGeometry(Twips(4200, 120, 600, 330));
    cmdDirectCommand->setAutoDefault(false);

    txtDirectCommand->setObjectName(QStringLiteral("txtDirectCommand"));
    txtDirectCommand->setGeometry(Twips(135, 120, 3915, 315));

    txtIBuffer->setObjectName(QStringLiteral("txtIBuffer"));
    txtIBuffer->setGeometry(Twips(90, 540, 4725, 4905));
    txtIBuffer->setReadOnly(true);
    txtIBuffer->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtIBuffer->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtIBuffer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    connect(txtDirectCommand, &QLineEdit::returnPressed, this,
            [this] { Q_EMIT SendRequested(txtDirectCommand->text()); });
    connect(cmdDirectCommand, &QPushButton::clicked, this,
            [this] { Q_EMIT SendRequested(txtDirectCommand->text()); });
}

void frmVerbose::ShowReceived(const QString& text) {
    // The controller ends its lines with CR LF and the probe's echo carries a lone CR; shown
    // raw, a CR would draw as a stray glyph, so each line end becomes one line break.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    txtIBuffer->setPlainText(shown);
}

void frmVerbose::closeEvent(QCloseEvent* event) {
    Q_EMIT Closed();
    event->accept();
}

}  // namespace vendra
