// ESLint's rules for the page's scripts: its recommended set, and no line over 100
// columns. scripts/test.sh installs ESLint from npm into WAVPAIR_LINT (the page ships
// nothing of it) and runs it with this file.
import { createRequire } from "node:module";

const require = createRequire(`${process.env.WAVPAIR_LINT}/`);
const js = require("@eslint/js");
const globals = require("globals");

export default [
  js.configs.recommended,
  {
    files: ["web/*.js"],
    languageOptions: {
      ecmaVersion: 2024,
      sourceType: "script",
      globals: { ...globals.browser, ...globals.worker, ...globals.serviceworker },
    },
    rules: {
      "max-len": ["error", { code: 100, ignoreUrls: true }],
      // The page's own names (status, open) may be those of the window's old properties.
      "no-redeclare": ["error", { builtinGlobals: false }],
    },
  },
];
