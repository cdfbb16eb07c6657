// The one list of the program's window classes: main.cpp and the end-to-end
// tests register every window through it, so a new window class is added
// here and nowhere else.
#pragma once

class WindowRegistry;

// Registers the factory of every window class of the program.
void registerAllWindows(WindowRegistry& registry);
