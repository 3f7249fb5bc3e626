// What Emscripten's runtime reads from Module once, as it starts, so it is
// set before it: where the runtime's own lines go, and how tower.wasm is
// loaded. TowerWeb and TowerGLCalls are defined further on in tower.js.

// The runtime's failures, and the GL emulation's notes about itself.
Module['printErr'] = function(text) {
  TowerWeb.runtimeLine(text);
};

// The GL imports go through TowerGLCalls. tower.wasm is instantiated from
// its bytes, so that a server that does not know the .wasm type serves the
// page too, and a failed load says why on the page.
Module['instantiateWasm'] = function(imports, receiveInstance) {
  TowerGLCalls.wrap(imports);
  fetch(wasmBinaryFile).then(function(response) {
    if (!response.ok) {
      throw new Error(wasmBinaryFile + ': HTTP ' + response.status);
    }
    return response.arrayBuffer();
  }).then(function(bytes) {
    return WebAssembly.instantiate(bytes, imports);
  }).then(function(result) {
    receiveInstance(result.instance, result.module);
  }).catch(function(e) {
    TowerWeb.reportError('cannot start the program', e.message);
    TowerWeb.setStatus('The program could not start: ' + e.message);
  });
  return {};
};
