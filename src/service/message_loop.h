#pragma once

// The service's main thread runs the platform's message loop, and Timer1 is one of its timers.
#include "platform/message_loop.h"
