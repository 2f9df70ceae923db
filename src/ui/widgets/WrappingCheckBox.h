// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCheckBox>

namespace kalindor::ui {

// A check box whose caption wraps at blanks inside its fixed width, as a classic window check
// box does; `Check1`'s caption "Авторегулировка      уровня" relies on that to show two lines.
class WrappingCheckBox final : public QCheckBox {
    Q_OBJECT

  public:
    using QCheckBox::QCheckBox;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kalindor::ui
