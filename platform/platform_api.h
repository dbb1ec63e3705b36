// The mark of a function the platform library exports. The library is built with hidden
// visibility, so only what carries this mark is seen by the host, the tests and the module;
// inline functions and template instances in the headers stay private to each user.
#pragma once

#define FOOTLIGHT_PLATFORM_API __attribute__((visibility("default")))
