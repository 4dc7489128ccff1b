// Where the event-log source of the adapter is registered.
#pragma once

inline constexpr const char kQvadEventLogParentKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";
inline constexpr const char kQvadEventSourceName[] = "QvAdnerl";
inline constexpr const char kQvadEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\QvAdnerl";
