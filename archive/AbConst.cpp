#include "archive/AbConst.h"

#include "archive/AbSrMgr.h"

std::string AbStrRes(int Id) {
    return AbStrings().GetString(Id);
}
