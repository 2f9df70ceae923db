#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include "UiTestSupport.h"

namespace kalindor::ui::test {
namespace {

// Where a control's caption text is drawn, in its parent's coordinates: labels from their
// contents rectangle (wrapped or not), buttons as wide as their text and indicator need.
QRect captionArea(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        const QRect contents = label->contentsRect();
        const QRect text = label->fontMetrics().boundingRect(
            QRect(0, 0, contents.width(), 1 << 16), label->wordWrap() ? Qt::TextWordWrap : 0,
            label->text());
        return QRect(label->mapToParent(contents.topLeft()), text.size());
    }
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        const int width = button->fontMetrics().horizontalAdvance(button->text()) +
                          2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin);
        return QRect(button->x() + (button->width() - width) / 2, button->y(), width,
                     button->height());
    }
    return QRect(control->pos(), QSize(control->sizeHint().width(), control->height()));
}

// Each caption of the dialog lies inside its control and its parent and runs into no other
// control (the design lets a few share one pixel column); returns what does not.
QStringList clippedCaptions(const QWidget* dialog) {
    QStringList problems;
    for (const QWidget* control : dialog->findChildren<QWidget*>()) {
        if (!(qobject_cast<const QLabel*>(control) ||
              qobject_cast<const QAbstractButton*>(control)) ||
            !control->isVisibleTo(dialog)) {
            continue;
        }
        const QRect caption = captionArea(control);
        const QWidget* parent = control->parentWidget();
        if (!control->geometry().contains(caption) || !parent->contentsRect().contains(caption)) {
            problems << control->objectName() + " is clipped";
        }
        for (const QWidget* other : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect shared = other->geometry().intersected(caption);
            if (other != control && other->isVisibleTo(dialog) && shared.width() > 1 &&
                shared.height() > 1) {
                problems << control->objectName() + " runs into " + other->objectName();
            }
        }
    }
    return problems;
}

class DialogsTest : public WindowTest {
  protected:
    QWidget* dialog(const QString& name) const { return rig->find<QWidget>(name); }
    QString text(const QString& form, const QString& name) const {
        return rig->in<QLabel>(form, name)->text();
    }
    QSlider* slider(const QString& form, const QString& name) const {
        return rig->in<QSlider>(form, name);
    }
};

// Frequencies, noise filter and AGC speed: modeless, made on first use, hidden by "Закрыть"
// or the close box, and filled from the state again on every showing.
TEST_F(DialogsTest, SettingsDialogsShowTheStateAndMoveIt) {
    EXPECT_EQ(dialog("Form2"), nullptr);
    rig->trigger("mnuFrequence");
    rig->trigger("mnuNoiseFilter");
    rig->trigger("mnuARUSpeed");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    for (const QString title :
         {"Form2=Настройки частоты", "Form4=Настройки фильтра шума", "Form5=Скорость АРУ"}) {
        EXPECT_TRUE(dialog(title.section('=', 0, 0))->isVisible());
        EXPECT_EQ(dialog(title.section('=', 0, 0))->windowTitle(), title.section('=', 1));
    }
    const QStringList frequencies{"62.5 Гц",   "250 Гц",  "562.5 Гц",  "1000 Гц",
                                  "1562.5 Гц", "2250 Гц", "3062.5 Гц", "4000 Гц"};
    for (int ch = 0; ch < kChannelCount; ++ch) {
        SCOPED_TRACE(ch);
        EXPECT_EQ(text("Form2", QStringLiteral("Label1_%1").arg(ch)), QString::number(ch + 1));
        EXPECT_EQ(text("Form2", QStringLiteral("Label2_%1").arg(ch)), frequencies[ch]);
        EXPECT_EQ(slider("Form2", QStringLiteral("Slider1_%1").arg(ch))->value(),
                  (ch + 1) * (ch + 1));
    }
    EXPECT_EQ(text("Form4", "Label1_0"), QStringLiteral("Выкл"));
    EXPECT_EQ(text("Form5", "Label3"), QStringLiteral("5000"));
    EXPECT_EQ(text("Form5", "Label1"), QStringLiteral("Больше"));
    EXPECT_EQ(text("Form5", "Label2"), QStringLiteral("Меньше"));

    const struct {
        const char* form;
        const char* slider;
        int value;
        const char* label;
        QString text;
    } moves[] = {{"Form2", "Slider1_2", 255, "Label2_2", "15937.5 Гц"},
                 {"Form2", "Slider1_0", 2, "Label2_0", "125 Гц"},
                 {"Form4", "Slider1_0", 99, "Label1_0", "1%"},
                 {"Form4", "Slider1_0", 50, "Label1_0", "50%"},
                 {"Form4", "Slider1_0", 100, "Label1_0", "Выкл"},
                 {"Form5", "Slider1", 5100, "Label3", "5100"}};
    for (const auto& move : moves) {
        slider(move.form, move.slider)->setValue(move.value);
        EXPECT_EQ(text(move.form, move.label), move.text) << move.slider;
    }
    EXPECT_EQ(slider("Form5", "Slider1")->singleStep(), 100);
    EXPECT_EQ(rig->state.ChannelFrequency[2], 255);
    EXPECT_EQ(rig->state.ChannelFrequency[0], 2);
    EXPECT_EQ(rig->state.NoiseFilterLevel, 0.0f);
    EXPECT_EQ(rig->state.AgcSpeed, 5100);

    // Hidden, changed as a preset read meanwhile would change them, shown again.
    rig->in<QPushButton>("Form2", "Command1")->click();
    rig->in<QPushButton>("Form4", "Command1")->click();
    dialog("Form5")->close();
    EXPECT_FALSE(dialog("Form2")->isVisible() || dialog("Form4")->isVisible() ||
                 dialog("Form5")->isVisible());
    rig->state.ChannelFrequency[5] = 200;
    rig->state.NoiseFilterLevel = 25.5f;
    for (const std::int16_t speed : {9000, 20000, -5}) {
        rig->state.AgcSpeed = speed;
        rig->trigger("mnuARUSpeed");
        EXPECT_EQ(text("Form5", "Label3"), QString::number(speed));
        EXPECT_EQ(slider("Form5", "Slider1")->value(), std::clamp<int>(speed, 1000, 10000));
        EXPECT_EQ(rig->state.AgcSpeed, speed) << "filling writes nothing back";
    }
    rig->trigger("mnuFrequence");
    rig->trigger("mnuNoiseFilter");
    EXPECT_EQ(slider("Form2", "Slider1_5")->value(), 200);
    EXPECT_EQ(text("Form2", "Label2_5"), QStringLiteral("12500 Гц"));
    EXPECT_EQ(slider("Form4", "Slider1_0")->value(), 90);
    EXPECT_EQ(text("Form4", "Label1_0"), QStringLiteral("10%"));
}

TEST_F(DialogsTest, VisibleDialogsFollowResetAndPresetLoad) {
    rig->trigger("mnuFrequence");
    rig->trigger("mnuARUSpeed");
    rig->trigger("mnuNoiseFilter");
    slider("Form2", "Slider1_1")->setValue(77);
    slider("Form5", "Slider1")->setValue(8000);
    rig->trigger("mnuReset");
    EXPECT_EQ(slider("Form2", "Slider1_1")->value(), 4);
    EXPECT_EQ(text("Form2", "Label2_1"), QStringLiteral("250 Гц"));
    EXPECT_EQ(text("Form5", "Label3"), QStringLiteral("5000"));
    EXPECT_EQ(slider("Form5", "Slider1")->value(), 5000);

    QTemporaryDir dir;
    rig->dialogs.openPath = writeFile(dir, "unusual.lcf", unusualPreset());
    rig->trigger("mnuOpen");
    EXPECT_EQ(slider("Form2", "Slider1_7")->value(), 107);
    EXPECT_EQ(text("Form2", "Label2_7"), QStringLiteral("6687.5 Гц"));
    EXPECT_EQ(text("Form4", "Label1_0"), QStringLiteral("20%"));
    EXPECT_EQ(text("Form5", "Label3"), QStringLiteral("7000"));
}

// The effects dialog is modal, applies each change at once (the timers take the new periods,
// Timer2 while running too) and loads its controls again on every opening.
TEST_F(DialogsTest, EffectsDialogIsModalAndAppliesChangesAtOnce) {
    rig->click("Command1");
    rig->trigger("mnuAutomatic");
    auto* form6 = rig->find<QDialog>("Form6");
    EXPECT_EQ(form6->windowTitle(), QStringLiteral("Настройки автомата световых эффектов"));
    EXPECT_EQ(QApplication::activeModalWidget(), form6);
    EXPECT_EQ(slider("Form6", "Slider1")->value(), 1);
    EXPECT_EQ(text("Form6", "Label2"), QStringLiteral("1"));
    EXPECT_EQ(slider("Form6", "Slider2")->value(), 10);
    const auto option = [&](const QString& name) { return rig->in<QRadioButton>("Form6", name); };
    EXPECT_TRUE(option("Option1_1")->isChecked() && option("Option2_0")->isChecked());
    EXPECT_EQ(option("Option1_0")->text(), QStringLiteral("Ничего не делать"));
    EXPECT_EQ(option("Option2_2")->text(), QStringLiteral("Произвольно"));

    slider("Form6", "Slider1")->setValue(4);
    EXPECT_EQ(text("Form6", "Label2"), QStringLiteral("4"));
    EXPECT_EQ(rig->timer(2).interval(), 4000);
    EXPECT_TRUE(rig->timer(2).enabled());
    slider("Form6", "Slider2")->setValue(3);
    EXPECT_EQ(rig->timer(3).interval(), 300);
    option("Option1_0")->click();
    EXPECT_TRUE(rig->state.AutomatonDisabled);
    option("Option1_1")->click();
    EXPECT_FALSE(rig->state.AutomatonDisabled);
    for (int kind : {1, 2, 0}) {
        option(QStringLiteral("Option2_%1").arg(kind))->click();
        EXPECT_EQ(rig->state.EffectKind, kind);
    }
    form6->close();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    rig->state.EffectKind = kRunningWave;  // as the random effect chooses
    rig->state.AutomatonDisabled = true;
    rig->state.EffectIntervalMs = 500;
    rig->trigger("mnuAutomatic");
    EXPECT_EQ(rig->find<QDialog>("Form6"), form6);
    EXPECT_TRUE(option("Option2_1")->isChecked());
    EXPECT_TRUE(option("Option1_0")->isChecked());
    EXPECT_EQ(slider("Form6", "Slider2")->value(), 5);
    EXPECT_EQ(slider("Form6", "Slider1")->value(), 4);
    form6->close();
}

// The captions are wider in today's fonts than the design widths; each must still be read in
// full, with the controls at their design places.
TEST_F(DialogsTest, EveryDialogCaptionIsFullyVisible) {
    for (const char* menu : {"mnuFrequence", "mnuNoiseFilter", "mnuARUSpeed", "mnuAutomatic"}) {
        rig->trigger(menu);
    }
    for (const char* form : {"Form2", "Form4", "Form5", "Form6"}) {
        EXPECT_EQ(clippedCaptions(dialog(form)), QStringList()) << form;
    }
    const std::pair<const char*, QPoint> places[] = {
        {"Label1", {0, 8}},       {"Label4", {40, 32}},     {"Option1_1", {280, 24}},
        {"Option2_2", {152, 88}}, {"Option2_0", {152, 24}},
    };
    for (const auto& [name, place] : places) {
        EXPECT_EQ(rig->in<QWidget>("Form6", name)->pos(), place) << name;
    }
    EXPECT_EQ(rig->in<QWidget>("Form5", "Label2")->pos(), QPoint(168, 16));
    dialog("Form6")->close();
}

}  // namespace
}  // namespace kalindor::ui::test
