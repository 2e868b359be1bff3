#pragma once

#include <QString>
#include <cstdint>

// How long a task has waited, as the list shows it: minutes under an hour, hours under two days,
// else days.
QString WaitText(std::int64_t seconds);
