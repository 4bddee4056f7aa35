// OrvaneAgentApp.h - the agent's application object.
//
// Its init hook registers the process as a service process, creates the
// "OrvaneAgent" node, serves the main thread's messages until the quit
// message (SIGTERM or SIGINT on Linux), destroys the node and returns false
// so that the process ends. When the node cannot be created the process ends
// at once with exit status 1.
#pragma once

#include "AppFramework/Application.h"

class OrvaneAgentApp : public Application {
public:
    bool InitInstance() override;
};

// Registers the process as a simple service process, once per process, where
// the system offers it; on Linux nothing is called.
void RegisterAsServiceProcess();
