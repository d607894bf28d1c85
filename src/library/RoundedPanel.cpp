#include "library/RoundedPanel.h"

#include "helpers/RoundedBackground.h"

namespace qv::library {

RoundedPanel::RoundedPanel(QColor background, QWidget* parent) : QWidget(parent), background_(background) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
}

void RoundedPanel::paintEvent(QPaintEvent*) { app::paintRoundedBackground(*this, background_); }

}  // namespace qv::library
