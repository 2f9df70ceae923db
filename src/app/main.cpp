// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Screenshots.h"
#include "audio/SoundInputFactory.h"
#include "core/SharedState.h"
#include "engine/LightDeviceFactory.h"
#include "launch/LaunchOptions.h"
#include "lights/OutputWatch.h"
#include "ui/Form1.h"
#include "ui/OutputSettings.h"
#include "ui/QtTimerPort.h"
#include "ui/QtUserDialogs.h"
#include "ui/dialogs/Form8.h"

namespace {

// A screenshot run (KALINDOR_SCREENSHOTS=FOLDER): the pictures are taken this long after the
// start-up, so a started capture has drawn its graph, and then the program ends.
constexpr int kScreenshotDelayMs = 1500;

// Qt's own options, which QApplication takes out of argv itself (as "-name" or "--name", a
// value after a blank or, for some, after "="). They are left out of the launch options, which
// are then checked before Qt starts: Qt needs a display, a bad option must be told without one.
constexpr std::array<std::string_view, 16> kQtOptionsWithValue = {
    "platform",     "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon",  "qwindowtitle",       "session",       "display", "geometry",
    "style",        "stylesheet",         "name",          "title",   "visual",
    "qmljsdebugger"};
constexpr std::array<std::string_view, 5> kQtFlags = {"reverse", "widgetcount", "sync", "nograb",
                                                      "dograb"};

std::vector<std::string> argumentsWithoutQtOptions(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string_view name = argv[i];
        if (!name.starts_with('-')) {
            args.emplace_back(argv[i]);
            continue;
        }
        name.remove_prefix(name.starts_with("--") ? 2 : 1);
        const std::size_t equals = name.find('=');
        if (std::ranges::find(kQtFlags, name) != kQtFlags.end()) {
            continue;
        }
        if (std::ranges::find(kQtOptionsWithValue, name.substr(0, equals)) !=
            kQtOptionsWithValue.end()) {
            if (equals == std::string_view::npos) {
                ++i;  // its value
            }
            continue;
        }
        args.emplace_back(argv[i]);
    }
    return args;
}

// Prints the answer to --help or --version; false when neither was asked for.
bool answeredQuestion(const kalindor::LaunchOptions& options) {
    if (options.versionRequested) {
        std::fputs(kalindor::versionText("kalindor").c_str(), stdout);
    } else if (options.helpRequested) {
        std::printf("Usage: kalindor [OPTIONS] [PRESET [start[h]]]\n%s",
                    kalindor::launchOptionsHelp(kalindor::LaunchProgram::kWindow).c_str());
    }
    return options.versionRequested || options.helpRequested;
}

// Runs `show` (a message box over the window) once the window is on screen: a box opened
// before the window manager has placed the window would centre on the screen's corner. A
// hidden window is not waited for; after two seconds nothing is.
void whenWindowPlaced(const std::unique_ptr<kalindor::ui::Form1>& window,
                      std::function<void()> show, int triesLeft = 40) {
    QTimer::singleShot(triesLeft == 40 ? 0 : 50, [&window, show = std::move(show), triesLeft] {
        const QWindow* handle = window ? window->windowHandle() : nullptr;
        if (triesLeft > 0 && window && window->isVisible() && handle != nullptr &&
            !handle->isExposed()) {
            whenWindowPlaced(window, show, triesLeft - 1);
            return;
        }
        show();
    });
}

}  // namespace

int main(int argc, char** argv) {
    // Every option is checked, and --help and --version answered, before Qt starts, so none of
    // them needs a display.
    const kalindor::Expected<kalindor::LaunchOptions> parsed = kalindor::parseLaunchOptions(
        argumentsWithoutQtOptions(argc, argv), kalindor::LaunchProgram::kWindow);
    if (!parsed) {
        std::fprintf(stderr, "kalindor: %s\n", parsed.error().c_str());
        return 2;
    }
    const kalindor::LaunchOptions& options = *parsed;
    if (answeredQuestion(options)) {
        return 0;
    }
    QApplication app(argc, argv);
    kalindor::ui::QtUserDialogs::installQtTranslation(app);
    // Ties the window to its desktop entry (icon, name) on Wayland and X11.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.kalindor.Kalindor"));
    // Hidden by "starth" the window is the last one, yet the program goes on; only the window's
    // quit request ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    const QString screenshotFolder = qEnvironmentVariable("KALINDOR_SCREENSHOTS");
    kalindor::app::ShowingDialogs screenshotDialogs;
    kalindor::ui::QtUserDialogs userDialogs;
    kalindor::ui::UserDialogs& dialogs = screenshotFolder.isEmpty()
                                             ? static_cast<kalindor::ui::UserDialogs&>(userDialogs)
                                             : screenshotDialogs;

    kalindor::SharedState state;
    kalindor::ui::QtTimerPort timers;
    std::unique_ptr<kalindor::ui::Form1> window;

    // The choices of "Выход света…" (~/.config/kalindor/kalindor.conf); the command line
    // overrides them for this run.
    QSettings settings(QStringLiteral("kalindor"), QStringLiteral("kalindor"));
    const kalindor::OutputChoices outputs =
        kalindor::resolveOutputChoices(kalindor::ui::loadOutputChoices(settings), options);
    kalindor::LightSetupOptions lightOptions;
    // Reported from inside a device call, maybe in the middle of a buffer: the message box
    // waits until that call has returned, and opens over the window.
    lightOptions.onProblem = [&window, &dialogs](const std::string& problem) {
        whenWindowPlaced(window, [&window, &dialogs, text = QString::fromStdString(problem)] {
            dialogs.message(window.get(), text, QStringLiteral("КАЛИНДОР"),
                            kalindor::ui::UserDialogs::Icon::kCritical);
        });
    };
    kalindor::LightSetup lights = kalindor::createLightSetup(outputs, lightOptions, timers);
    for (const std::string& failure : lights.failures) {
        whenWindowPlaced(window, [&window, &dialogs, failure] {
            dialogs.message(window.get(), kalindor::ui::russianOutputError(failure),
                            QStringLiteral("КАЛИНДОР"), kalindor::ui::UserDialogs::Icon::kCritical);
        });
    }
    // The input chosen in "Вход звука…"; --input replaces it for this run.
    kalindor::ChoosableSoundInput input(
        options.inputGiven ? options.input : kalindor::ui::loadInputChoice(settings).toStdString(),
        true);

    window = std::make_unique<kalindor::ui::Form1>(state, input, lights.sink(), timers, dialogs);
    window->setOutputSettings(settings);
    window->setOutputControl(
        {.current = [&lights] { return lights.choices; },
         .apply = [&lights, &lightOptions, &window](
                      const kalindor::OutputChoices& next) -> kalindor::Expected<void, QString> {
             if (auto applied = kalindor::applyLightChoices(lights, next, lightOptions); !applied) {
                 return kalindor::unexpected(kalindor::ui::russianOutputError(applied.error()));
             }
             window->setDeviceStatus(lights.outputs->board().connected());
             return {};
         },
         .overrides = kalindor::ui::commandLineOutputs(options)});
    window->setInputSettings(settings, input);
    // Set even for the board alone: OK in "Выход света…" can add outputs while the program runs.
    window->setStatusText([&lights](bool boardConnected) {
        return kalindor::ui::outputStatusLine(*lights.outputs, boardConnected);
    });
    const kalindor::OutputWatch watch(*lights.outputs, timers, [&window](const auto&, bool) {
        if (window) {
            window->refreshDeviceStatus();
        }
    });
    QObject::connect(window.get(), &kalindor::ui::Form1::quitRequested, &app,
                     &QCoreApplication::quit, Qt::QueuedConnection);
    window->commands().load(options.command);

    if (!screenshotFolder.isEmpty()) {
        QTimer::singleShot(kScreenshotDelayMs, [&] {
            if (const auto saved =
                    kalindor::app::saveScreenshots(*window, screenshotDialogs, screenshotFolder);
                !saved) {
                std::fprintf(stderr, "kalindor: %s\n", saved.error().toLocal8Bit().constData());
                QCoreApplication::exit(1);
                return;
            }
            QCoreApplication::quit();
        });
    }
    const int status = app.exec();
    window.reset();  // the window's engine first, then the input and the lights it uses
    return status;
}
