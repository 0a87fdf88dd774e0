#pragma once
// Which texts of a record a search looks at.

#include <cstdint>

enum class PstSearchField : int32_t {
    Any = 0,
    Subject = 1,
    From = 2,
    Recipient = 3,
    Body = 4,
    Attachment = 5,
};
