#include "ui/Application.h"

TApplication& Application() {
    static TApplication App;
    return App;
}
