#pragma once
// Answering modal widgets in tests: a timer looks for the active modal widget of the wanted type
// and hands it to the test's action, which inspects it and closes it. If none turns up within a
// generous safety limit, the test fails and every modal widget is closed so that the test ends.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace tovanel::testing {

// Ends every open modal widget, refusing ones included, so that a failing test cannot hang.
inline void CloseEveryModal() {
    for (int guard = 0; guard < 50; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->hide();
    }
}

template <class T>
void WhenModal(std::function<void(T*)> action, std::function<bool()> ready = {},
               int safetyLimitMs = 20000) {
    auto* timer = new QTimer(qApp);
    auto waited = std::make_shared<int>(0);
    auto handled = std::make_shared<QPointer<QWidget>>();
    auto acted = std::make_shared<bool>(false);
    constexpr int kStepMs = 20;
    timer->setInterval(kStepMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        *waited += kStepMs;
        if (*acted) {
            // Watch that the action really closed the widget it was given.
            if (handled->isNull() || !(*handled)->isVisible()) {
                timer->stop();
                timer->deleteLater();
            } else if (*waited > safetyLimitMs) {
                timer->stop();
                timer->deleteLater();
                ADD_FAILURE() << "the modal widget stayed open after the test's action";
                CloseEveryModal();
            }
            return;
        }
        T* modal = qobject_cast<T*>(QApplication::activeModalWidget());
        if (modal && modal->isVisible() && (!ready || ready())) {
            *acted = true;
            *handled = modal;
            *waited = 0;
            action(modal);
            return;
        }
        if (*waited > safetyLimitMs) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the expected modal widget never became ready";
            CloseEveryModal();
        }
    });
    timer->start();
}

// Fails the test if any modal widget shows up while `body` runs; closes it so the test goes on.
inline void ExpectNoModal(const std::function<void()>& body) {
    bool appeared = false;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget()) {
            appeared = true;
            CloseEveryModal();
        }
    });
    watch.start();
    body();
    watch.stop();
    EXPECT_FALSE(appeared) << "a modal widget appeared";
}

}  // namespace tovanel::testing
