#pragma once
// The advanced console: the operator types a raw controller command and sees the raw text of
// the last exchange. Deletes itself when closed; whoever shows it keeps a QPointer.
#include <QWidget>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vendra {

class frmVerbose : public QWidget {
    Q_OBJECT
public:
    explicit frmVerbose(QWidget* parent = nullptr);

    QPushButton* cmdDirectCommand;
    QLineEdit* txtDirectCommand;
    QPlainTextEdit* txtIBuffer;

public Q_SLOTS:
    // Replaces the receive box's whole text.
    void ShowReceived(const QString& text);

Q_SIGNALS:
    // Enter in the entry or "send": the entry's text exactly as typed.
    void SendRequested(const QString& text);
    // The window is closing (by its frame or the window system) and will be destroyed.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace vendra
