// pemrix-bridge-client: the typed Node.js client of pemrix-bridge.
export { BridgeClient } from "./client.js";
export { BridgeError, type BridgeErrorCode } from "./errors.js";
export type {
  BridgeClientOptions,
  ContactItem,
  ContactQuery,
  Entity,
  EventItem,
  ExitInfo,
  PermissionState,
  Permissions,
  QueryResult,
  ReminderItem,
  Source,
  SourceList,
  Timestamp,
  WindowQuery,
} from "./types.js";
