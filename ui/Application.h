#pragma once
// What the program keeps on its application object: the title, which also captions the window's message
// boxes, and the help file.

#include <string>

struct TApplication {
    std::string Title;
    std::string HelpFile;
};

TApplication& Application();
