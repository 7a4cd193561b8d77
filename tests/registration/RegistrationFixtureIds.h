// Resource ids of the registration test modules, shared by their resource
// scripts and the tests.
#pragma once

#define FIXTURE_MODULE_SCRIPT 201
#define FIXTURE_EXTRAS_SCRIPT 202
#define FIXTURE_LEAD_BYTE_SCRIPT 203
