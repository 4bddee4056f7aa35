#include "AppFramework/Application.h"

int main() { return RunApplication(); }
