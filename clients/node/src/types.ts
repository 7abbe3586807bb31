// The values the client hands to and receives from the app: wire names and values, with
// the dates of events and reminders as Date objects.
import type { Entity, PermissionState } from "./wire-names.js";

export type { Entity, PermissionState };

/** The permission state of each source ("status"). */
export interface Permissions {
  events: PermissionState;
  reminders: PermissionState;
  contacts: PermissionState;
}

/** A calendar, reminder list or contact account the user can choose from. */
export interface Source {
  id: string;
  title: string;
}

/** The answer to "list-sources": at most 100 sources, in the store's order. */
export interface SourceList {
  permission: PermissionState;
  sources: Source[];
  truncated: boolean;
}

/** A bounded list of items; `truncated` is true when items were left out. */
export interface QueryResult<Item> {
  items: Item[];
  truncated: boolean;
}

export interface EventItem {
  /** The event's identifier, then "@" and its start (occurrences differ after the "@"). */
  id: string;
  sourceId: string;
  title: string;
  start: Date;
  end: Date;
  allDay: boolean;
}

export interface ReminderItem {
  id: string;
  sourceId: string;
  title: string;
  due: Date;
  completed: boolean;
  priority: number;
}

export interface ContactItem {
  id: string;
  sourceId: string;
  title: string;
  organization: string;
  jobTitle: string;
}

/** A Date, or a UTC timestamp text such as "2024-05-01T08:30:00Z". */
export type Timestamp = Date | string;

/** An events or reminders query: sources and a window of at most 31 days. */
export interface WindowQuery {
  sourceIds: readonly string[];
  start: Timestamp;
  end: Timestamp;
  /** 1 to 100; the bridge's default is 100. */
  limit?: number | undefined;
}

/** A contacts query: every word of `query` must occur in a name, organisation or job title. */
export interface ContactQuery {
  sourceIds: readonly string[];
  query: string;
  /** 1 to 100; the bridge's default is 100. */
  limit?: number | undefined;
}

/** How a bridge process ended: its exit status, or the signal that ended it. */
export interface ExitInfo {
  status: number | null;
  signal: NodeJS.Signals | null;
}

export interface BridgeClientOptions {
  /** Path of the bridge executable (or of the simulator). It is started without arguments. */
  executable: string;
  /**
   * Environment of the bridge process (as for child_process.spawn; default: this process's
   * environment). The bridge reads none; the simulator reads PEMRIX_BRIDGE_WORLD.
   */
  env?: NodeJS.ProcessEnv | undefined;
  /** Called with every line written to or read from the bridge, without its newline. */
  trace?: ((line: string, direction: "sent" | "received") => void) | undefined;
}
