/* A game's C code as an integrator writes it: only the SDK headers, linked
 * against the import libraries. Calls each export family once or twice and
 * checks the results the headers promise. Plain C89. */
#include <stdio.h>
#include <string.h>

#include "vexolib.h"
#include "zem.h"

static int failures = 0;

static void check(int ok, const char* what)
{
    if (!ok) {
        printf("FAIL %s\n", what);
        ++failures;
    }
}

int main(void)
{
    VexolibLogAgent* agent;
    int32_t length = -7;
    const char* text;
    int32_t listener = -1;

    /* log manager */
    agent = LogManager_NewLogAgent();
    check(agent != NULL, "LogManager_NewLogAgent gives an agent");
    LogManager_SetCatagory(agent, "sdk_c", "0", 0, 1);
    check(LogManager_Init(agent) >= 0, "LogManager_Init registers the category");
    LogManager_buff_printf(agent, "%s=%d", "frames", 42);
    text = LogManager_get_log_buff(agent, &length);
    check(text != NULL && length == 9 && memcmp(text, "frames=42", 9) == 0, "the agent's buffer holds the formatted text");
    text = LogManager_get_log_buff(NULL, &length);
    check(text != NULL && strcmp(text, "null") == 0 && length == 9, "a null agent gives \"null\" and leaves the length alone");
    LogManager_commit_buff(agent, 4);
    LogManager_Stop(agent);
    LogManager_Destroy();

    /* network manager: one-byte results */
    NetworkManager_Init(NULL);
    check(NetworkManager_Listen(NULL, 0, 4, &listener, "127.0.0.1") == 1 && listener >= 0, "NetworkManager_Listen opens a listener");
    check(NetworkManager_Send(NULL, 12345, "x", 1) == 0, "NetworkManager_Send to an unknown id is false");
    check(NetworkManager_ConnectAsynByDotted(NULL, "not an address", 1, NULL, 10) == 0, "a bad dotted address is refused");
    check(NetworkManager_GetErrorString() != NULL, "the error text is never null");
    NetworkManager_Stop();

    /* zem */
    check(NativeVersion() == 211, "NativeVersion is 211");
    check(SupportFeature("EventId") == 1 && SupportFeature("eventid") == 0, "SupportFeature compares exactly");
    check(ZEMEngineCheckStack() == 0, "no sample scope is open");

    if (failures == 0) printf("sdk C program: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
