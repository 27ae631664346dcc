// The creation of the module "scenaric": one method table gathered from the function groups
// (the weapon record functions of the gameplay layer among them; the ammunition functions are
// the module's own), made again for every interpreter.
#include "scenaricmodule.h"

#include "scenario_local.h"
#include "scriptinterpreter.h"
#include "weaponscript.h"

#include <vector>

namespace
{
std::vector<PyMethodDef>& Methods()
{
    static auto* methods = new std::vector<PyMethodDef>();
    if (methods->empty())
    {
        for (PyMethodDef* group :
             {ScenaricGeometryMethods(), ScenaricActorMethods(), ScenaricCollisionMethods(), ScenaricEventMethods(),
              ScenaricInventoryMethods(), ScenaricPerceptionMethods(), ScenaricLevelMethods(), WeaponScriptFunctions()})
            for (PyMethodDef* row = group; row->ml_name; ++row)
                methods->push_back(*row);
        methods->push_back({nullptr, nullptr, 0, nullptr});
    }
    return *methods;
}

PyModuleDef gModule = {
    PyModuleDef_HEAD_INIT, "scenaric", nullptr, -1, nullptr, nullptr, nullptr, nullptr, nullptr,
};
} // namespace

PyObject* ScenaricModuleInit()
{
    ScenaricBindingsReset();
    ScenaricEventsReset();
    ScenaricSkillsReset();
    gModule.m_methods = Methods().data();
    PyObject* module = PyModule_Create(&gModule);
    if (module && ScenaricSkillsKeepStatuses(module) < 0)
        Py_CLEAR(module);
    return module;
}

void ScenaricModuleInstall()
{
    ScriptInterpreter::SetScenaricInit(ScenaricModuleInit);
    ScenaricQueueSkillRegistrations();
}
