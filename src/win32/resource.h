#pragma once

// Resource numbers shared by the resource script and the window.
#define IDI_QUORVEL 1
#define IDI_OPEN 2
#define IDI_SAVE 3
