#pragma once

#include <string>

// What a node asks of the application: the root folder of the library being browsed. The
// application controller answers it; nodes never own it.
class LibraryRoot {
public:
    virtual ~LibraryRoot() = default;
    virtual std::string getRootDirectory() = 0;
};
