// The window model is one shared library per process (every module that shows
// or reads windows must see the same windows and queues), so its interface is
// exported while everything else stays hidden.
#pragma once

#define KV_UI_API __attribute__((visibility("default")))
