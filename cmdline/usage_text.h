// The one message Morlex ever shows.
#pragma once

inline constexpr char kUsageCaption[] = "Morlex";
inline constexpr char kUsageText[] =
    "Set persistent environment variable for NT and make it immediately available.\r\n"
    "\r\n"
    "Usage: Morlex [/s] [/a|/r] Environment_var [Value]\r\n"
    "  /s: System environment variable\r\n"
    "  /a: Add Value. Only applicable if Environment_var is PATH.\r\n"
    "  /r: Remove Value. Only applicable if Environment_var is PATH.\r\n"
    " If Environment_var is PATH then Value is required.";
