#include "core/Events.h"

ApplicationEvents& notify() {
    static ApplicationEvents instance;
    return instance;
}
