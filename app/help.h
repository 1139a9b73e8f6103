#pragma once

// What --help says after the options: exit status, examples and files. The
// manual is made from --help, so these become its sections.
const char* help_epilogue();
