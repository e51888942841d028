#pragma once
// Answering modal widgets in tests: a timer looks for the active modal widget of the wanted type
// and hands it to the test's action, which inspects it and closes it. If none turns up within a
// generous safety limit, the test fails and every modal widget is closed so that the test ends.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace tovanel::testing {

template <class T>
void WhenModal(std::function<void(T*)> action, std::function<bool()> ready = {},
               int safetyLimitMs = 20000) {
    auto* timer = new QTimer(qApp);
    auto waited = std::make_shared<int>(0);
    constexpr int kStepMs = 20;
    timer->setInterval(kStepMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        *waited += kStepMs;
        T* modal = qobject_cast<T*>(QApplication::activeModalWidget());
        if (modal && modal->isVisible() && (!ready || ready())) {
            timer->stop();
            timer->deleteLater();
            action(modal);
            return;
        }
        if (*waited > safetyLimitMs) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the expected modal widget never became ready";
            while (QWidget* any = QApplication::activeModalWidget()) any->close();
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
        if (QWidget* modal = QApplication::activeModalWidget()) {
            appeared = true;
            modal->close();
        }
    });
    watch.start();
    body();
    watch.stop();
    EXPECT_FALSE(appeared) << "a modal widget appeared";
}

}  // namespace tovanel::testing
