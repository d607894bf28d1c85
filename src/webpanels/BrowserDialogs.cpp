#include "webpanels/BrowserDialogs.h"

#include <QDesktopServices>
#include <QPushButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QVBoxLayout>

namespace qv::webpanels {

namespace {

QMessageBox* makeAlert(QWidget* parent, const QString& message) {
    auto* box = new QMessageBox(parent);
    box->setWindowModality(Qt::ApplicationModal);
    box->setIcon(QMessageBox::NoIcon);
    box->setText(QString());  // the main text stays empty; the page's message is the detail
    box->setInformativeText(message);
    return box;
}

class DesktopBrowserDialogs : public BrowserDialogs {
public:
    void alert(QWidget* parent, const QString& message) override {
        std::unique_ptr<QMessageBox> box(makeAlert(parent, message));
        box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box->exec();
    }

    bool confirm(QWidget* parent, const QString& message) override {
        std::unique_ptr<QMessageBox> box(makeAlert(parent, message));
        QAbstractButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        box->exec();
        return box->clickedButton() == ok;
    }

    QString prompt(QWidget* parent, const QString& message) override {
        std::unique_ptr<QMessageBox> box(makeAlert(parent, message));
        auto* field = new QLineEdit;
        field->setPlaceholderText(QStringLiteral("Enter here"));
        field->setFixedSize(300, 24);
        // The message box has no accessory slot: the field goes below its text.
        if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
            grid->addWidget(field, grid->rowCount(), 0, 1, grid->columnCount());
        box->addButton(QStringLiteral("Submit"), QMessageBox::AcceptRole);
        field->setFocus();
        box->exec();
        return field->text();
    }

    std::optional<QString> chooseFile(QWidget* parent) override {
        const QString chosen = QFileDialog::getOpenFileName(parent);
        if (chosen.isEmpty()) return std::nullopt;
        return chosen;
    }

    void openExternally(const QUrl& url) override { QDesktopServices::openUrl(url); }
};

}  // namespace

std::optional<QString> BrowserDialogs::chooseSavePath(QWidget* parent, const QString& suggestedPath) {
    const QString chosen =
        QFileDialog::getSaveFileName(parent, QStringLiteral("Save PDF"), suggestedPath, QStringLiteral("PDF (*.pdf)"));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
}

bool BrowserDialogs::choosePrinter(QWidget* parent, QPrinter& printer, int pageCount) {
    QPrintDialog dialog(&printer, parent);
    dialog.setMinMax(1, pageCount);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    return dialog.exec() == QDialog::Accepted;
}

std::shared_ptr<BrowserDialogs> desktopBrowserDialogs() { return std::make_shared<DesktopBrowserDialogs>(); }

}  // namespace qv::webpanels
