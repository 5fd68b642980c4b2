// Runs inside the engine's script, before it starts: the worker has put in
// self.wavpairConfig what the engine calls back (its files, the report, its readiness).
Object.assign(Module, self.wavpairConfig);
