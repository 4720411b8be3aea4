#include "service/network_test_tester.h"

#include "config/settings.h"
#include "platform/ipaddress.h"
#include "platform/sip_setting_keys.h"

bool LSettingsSipTester::GetBool(const char *key, bool def)
{
    return LSettingGetBool(LSipKeys::kSection, key, def);
}
int LSettingsSipTester::GetInt(const char *key, int def)
{
    return LSettingGetInt(LSipKeys::kSection, key, def);
}
std::string LSettingsSipTester::GetString(const char *key)
{
    char out[LPathSize] = {0};
    LSettingGetString(LSipKeys::kSection, key, "", out);
    return out;
}
void LSettingsSipTester::SetBool(const char *key, bool value)
{
    LSettingSetBool(LSipKeys::kSection, key, value);
}
void LSettingsSipTester::SetInt(const char *key, int value)
{
    LSettingSetInt(LSipKeys::kSection, key, value);
}
void LSettingsSipTester::SetString(const char *key, const char *value)
{
    LSettingSetString(LSipKeys::kSection, key, value);
}

std::string LSettingsSipTester::GetLocalIP()
{
    uint32_t address = 0;
    char text[LPathSize] = {0};
    if (GetLocalHostPrivateIP(address))
        LIPAddressWithPort(address, 0).ToHostString(text);
    else
        LIPGetLocalHostIPPublic(text, sizeof(text));
    return text;
}
