#include "widgets/modal_guard.h"

#include "automation/run_registry.h"

#include <QPointer>
#include <QWidget>

namespace modal_guard {

bool mayOpen()
{
    return !autocal::RunActivity::instance().active();
}

void holdDuringRuns(QWidget *opener)
{
    opener->setProperty("opensModal", true);
    auto wasEnabled = std::make_shared<bool>(opener->isEnabled());
    QObject::connect(&autocal::RunActivity::instance(), &autocal::RunActivity::changed, opener,
                     [opener, wasEnabled](bool active) {
                         if (active) {
                             *wasEnabled = opener->isEnabled();
                             opener->setEnabled(false);
                         } else {
                             opener->setEnabled(*wasEnabled);
                         }
                     });
    if (!mayOpen())
        opener->setEnabled(false);
}

} // namespace modal_guard
