// pemrix-bridge-client: the typed Node.js client of pemrix-bridge.
export { BridgeClient } from "./client.js";
export { BridgeError, type BridgeErrorCode } from "./errors.js";
export type * from "./types.js";
